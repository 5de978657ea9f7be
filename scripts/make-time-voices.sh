#!/usr/bin/env bash
# Speaks every time the desk's clock button can ask for into DIR/HHMM.mp3:
# HH 00 (midnight) to 12 (noon), where 01..11 serve both a.m. and p.m.
set -euo pipefail

usage() {
    echo "Usage: ${0##*/} DIR [--lang pt|en]"
    echo "Writes the 780 spoken-time files 0000.mp3 .. 1259.mp3 into DIR."
}

dir=""
lang=pt
while [ $# -gt 0 ]; do
    case $1 in
        --lang) [ $# -ge 2 ] || { usage >&2; exit 2; }; lang=$2; shift 2 ;;
        --lang=*) lang=${1#--lang=}; shift ;;
        -h | --help) usage; exit 0 ;;
        -*) usage >&2; exit 2 ;;
        *) [ -z "$dir" ] || { usage >&2; exit 2; }; dir=$1; shift ;;
    esac
done
[ -n "$dir" ] || { usage >&2; exit 2; }
case $lang in
    pt) voice=pt-br ;;
    en) voice=en-us ;;
    *) echo "Unknown language '$lang': use pt or en." >&2; exit 2 ;;
esac

# From the source tree the tools are installed like the README commands do;
# an installed copy has no common.sh beside it and only checks.
here=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
if ! command -v espeak-ng >/dev/null || ! command -v ffmpeg >/dev/null; then
    if [ -f "$here/common.sh" ]; then
        source "$here/common.sh"
        install_missing espeak-ng ffmpeg
    fi
fi
for tool in espeak-ng ffmpeg; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is not installed (Debian package: $tool)." >&2
        exit 1
    fi
done

pt_number() {
    local units=(zero um dois três quatro cinco seis sete oito nove dez onze doze treze
        catorze quinze dezesseis dezessete dezoito dezenove)
    local tens=("" "" vinte trinta quarenta cinquenta)
    local n=$1
    if [ "$n" -lt 20 ]; then
        echo "${units[n]}"
    elif [ $((n % 10)) -eq 0 ]; then
        echo "${tens[n / 10]}"
    else
        echo "${tens[n / 10]} e ${units[n % 10]}"
    fi
}

en_number() {
    local units=(zero one two three four five six seven eight nine ten eleven twelve thirteen
        fourteen fifteen sixteen seventeen eighteen nineteen)
    local tens=("" "" twenty thirty forty fifty)
    local n=$1
    if [ "$n" -lt 20 ]; then
        echo "${units[n]}"
    elif [ $((n % 10)) -eq 0 ]; then
        echo "${tens[n / 10]}"
    else
        echo "${tens[n / 10]}-${units[n % 10]}"
    fi
}

# Hours are feminine in Portuguese (uma hora, duas horas), minutes masculine.
pt_phrase() {
    local hour=$1 minute=$2 said
    case $hour in
        0) said="É meia-noite" ;;
        12) said="É meio-dia" ;;
        1) said="É uma hora" ;;
        2) said="São duas horas" ;;
        *) said="São $(pt_number "$hour") horas" ;;
    esac
    case $minute in
        0) echo "$said em ponto" ;;
        1) echo "$said e um minuto" ;;
        *) echo "$said e $(pt_number "$minute") minutos" ;;
    esac
}

# Midnight and noon are named, as "twelve oh five" would not say which.
en_phrase() {
    local hour=$1 minute=$2 place
    case $hour in
        0 | 12)
            [ "$hour" -eq 0 ] && place=midnight || place=noon
            case $minute in
                0) echo "It's $place." ;;
                1) echo "It's one minute past $place." ;;
                *) echo "It's $(en_number "$minute") minutes past $place." ;;
            esac
            ;;
        *)
            if [ "$minute" -eq 0 ]; then
                echo "It's $(en_number "$hour") o'clock."
            elif [ "$minute" -lt 10 ]; then
                echo "It's $(en_number "$hour") oh $(en_number "$minute")."
            else
                echo "It's $(en_number "$hour") $(en_number "$minute")."
            fi
            ;;
    esac
}

# Speaks NAME TEXT pairs into DIR/NAME.mp3. One ffmpeg run encodes the whole
# batch, as its start-up costs more than encoding a few seconds of speech.
# The speech gets short even margins (so its first syllable is not lost while
# the output starts). Files are written aside and moved in whole: the desk
# never plays half a file.
speak() {
    local trim="silenceremove=start_periods=1:start_threshold=-50dB,areverse"
    local shape="$trim,$trim,adelay=150,apad=pad_dur=0.3"
    local inputs=() outputs=() made=() index=0
    while [ $# -ge 2 ]; do
        espeak-ng -v "$voice" -s 150 -w "$work/$1.wav" "$2"
        outputs+=(-map "$index:a" -af "$shape" -ar 44100 -ac 1 -c:a libmp3lame
            -b:a 96k -compression_level 7 -metadata title="$2" -f mp3 "$work/$1.mp3")
        inputs+=(-i "$work/$1.wav")
        made+=("$work/$1.mp3")
        index=$((index + 1))
        shift 2
    done
    ffmpeg -nostdin -v error "${inputs[@]}" "${outputs[@]}"
    mv -t "$dir" "${made[@]}"
    echo "${#made[@]}"
}

phrases() {
    local hour minute
    for ((hour = 0; hour <= 12; hour++)); do
        for ((minute = 0; minute < 60; minute++)); do
            printf '%02d%02d\0%s\0' "$hour" "$minute" "$("${lang}_phrase" "$hour" "$minute")"
        done
    done
}

# Reads the number of files each batch made and says how far the run is, once
# every hundred files.
progress() {
    local count made=0
    while read -r count; do
        if [ $(((made + count) / 100)) -gt $((made / 100)) ]; then
            echo "$((made + count)) of 780 made (${SECONDS} s)"
        fi
        made=$((made + count))
    done
}

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
work=$(mktemp -d "$dir/.time-voices.XXXXXX")
trap 'rm -rf "$work"' EXIT
export -f speak
export voice dir work

echo "Making 780 time announcements ($lang) in $dir"

if ! phrases | xargs -0 -n 60 -P "$(nproc)" bash -c 'set -e; speak "$@"' speak | progress; then
    echo "Some announcements could not be made; see the messages above." >&2
    exit 1
fi

echo "Made 780 time announcements ($lang) in ${SECONDS} s."
echo "Enter this folder in the configuration dialog: \"Hours Directory\" in English,"
echo "\"Diretório de Horas\" in Portuguese (Configurações, tab \"Paths\"/\"Caminhos\"): $dir"
