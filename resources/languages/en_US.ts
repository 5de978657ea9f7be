<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="pt_BR">
<context>
    <name>AboutDialog</name>
    <message>
        <source>Orgulhosamente Brasileiro</source>
        <translation>Proudly Brazilian</translation>
    </message>
    <message>
        <source>Versão: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>por:</source>
        <translation>By:</translation>
    </message>
</context>
<context>
    <name>AirFeeds</name>
    <message>
        <source>Stream: no ar</source>
        <translation>Stream: on</translation>
    </message>
    <message>
        <source>Stream: reconectando</source>
        <translation>Stream: reconnecting</translation>
    </message>
    <message>
        <source>Stream: desligado</source>
        <translation>Stream: off</translation>
    </message>
    <message>
        <source>Stream: recusado: confira o usuário e a senha</source>
        <translation>Stream: refused: check the user and password</translation>
    </message>
    <message>
        <source>Stream: recusado: %1</source>
        <translation>Stream: refused: %1</translation>
    </message>
    <message>
        <source>Gravação do ar: gravando</source>
        <translation>Air check: recording</translation>
    </message>
    <message>
        <source>Gravação do ar: falhando</source>
        <translation>Air check: failing</translation>
    </message>
    <message>
        <source>Gravação do ar: desligada</source>
        <translation>Air check: off</translation>
    </message>
</context>
<context>
    <name>ButtonHole</name>
    <message>
        <source>Arquivos de Audio</source>
        <translation>Audio Files</translation>
    </message>
    <message>
        <source>Carregar Audio</source>
        <translation>Load Audio</translation>
    </message>
</context>
<context>
    <name>ConfigDialog</name>
    <message>
        <source>Atenção: para as alterações surtirem efeito, reinicie o OrvaRadio.</source>
        <translation>Attention: for the changes to take effect, restart OrvaRadio.</translation>
    </message>
    <message>
        <source>Caminhos</source>
        <translation>Paths</translation>
    </message>
    <message>
        <source>Diretório de Horas</source>
        <translation>Hours Directory</translation>
    </message>
    <message>
        <source>Diretório de Músicas</source>
        <translation>Music Directory</translation>
    </message>
    <message>
        <source>Diretório de Vinhetas</source>
        <translation>Jingle Directory</translation>
    </message>
    <message>
        <source>Falar as horas ao clicar no relógio</source>
        <translation>Speak the time when clicking on the clock</translation>
    </message>
    <message>
        <source>Segundos</source>
        <translation>Seconds</translation>
    </message>
    <message>
        <source>Selecionar pasta de Locução de Hora</source>
        <translation>Select Time Voiceover Folder</translation>
    </message>
    <message>
        <source>Selecionar pasta de músicas</source>
        <translation>Select music folder</translation>
    </message>
    <message>
        <source>Selecionar pasta de vinhetas</source>
        <translation>Select jingle folder</translation>
    </message>
    <message>
        <source>Sobrepôr Áudios (FadeIn e FadeOut)</source>
        <translation>Overlay Audio (FadeIn and FadeOut)</translation>
    </message>
    <message>
        <source>Áudio</source>
        <translation>Audio</translation>
    </message>
    <message>
        <source>Igualar a loudness dos itens (EBU R128)</source>
        <translation>Even out the items' loudness (EBU R128)</translation>
    </message>
    <message>
        <source>Nível alvo</source>
        <translation>Target level</translation>
    </message>
    <message>
        <source>Cortar o silêncio no início e no fim dos áudios</source>
        <translation>Cut the silence at the start and end of items</translation>
    </message>
    <message>
        <source>Limiar de silêncio</source>
        <translation>Silence threshold</translation>
    </message>
    <message>
        <source>Início do fade-out</source>
        <translation>Fade-out start</translation>
    </message>
    <message>
        <source>LU abaixo da loudness do item</source>
        <translation>LU below the item's loudness</translation>
    </message>
    <message>
        <source>Saída do ar</source>
        <translation>On-air output</translation>
    </message>
    <message>
        <source>Saída de pré-escuta</source>
        <translation>Preview output</translation>
    </message>
    <message>
        <source>Padrão do sistema</source>
        <translation>System default</translation>
    </message>
    <message>
        <source>Nenhuma</source>
        <translation>None</translation>
    </message>
    <message>
        <source>%1 (não conectada)</source>
        <translation>%1 (not connected)</translation>
    </message>
    <message>
        <source>Usar FadeIn e FadeOut ao falar as horas</source>
        <translation>Using FadeIn and FadeOut when telling the time</translation>
    </message>
    <message>
        <source>Usar FadeOut ao parar</source>
        <translation>Use FadeOut when stopping</translation>
    </message>
    <message>
        <source>Usar FadeOut e FadeIn ao clicar para falar</source>
        <translation>Use FadeOut and FadeIn when clicking to talk</translation>
    </message>
    <message>
        <source>Velocidade do FadeIn e Out</source>
        <translation>FadeIn and Out Speed</translation>
    </message>
    <message>
        <source>Volumes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Agora no ar</source>
        <translation>Now playing</translation>
    </message>
    <message>
        <source>Pasta dos arquivos</source>
        <translation>Folder of the files</translation>
    </message>
    <message>
        <source>Anunciar também vinhetas, horas e cartuchos</source>
        <translation>Also announce jingles, time announcements and carts</translation>
    </message>
    <message>
        <source>Servidor de streaming (endereço)</source>
        <translation>Stream server (address)</translation>
    </message>
    <message>
        <source>Ponto de montagem</source>
        <translation>Mount point</translation>
    </message>
    <message>
        <source>Usuário</source>
        <translation>User</translation>
    </message>
    <message>
        <source>Senha</source>
        <translation>Password</translation>
    </message>
    <message>
        <source>Selecionar pasta dos arquivos de agora no ar</source>
        <translation>Select the folder for the now-playing files</translation>
    </message>
    <message>
        <source>A velocidade %1 é rápida demais para baixar a música ao nível de fala (%2%). A mais rápida que funciona é %3: ajustada. Salve de novo para confirmar.</source>
        <translation>Speed %1 is too fast to lower the music to the talk-over level (%2%). The fastest that works is %3: adjusted. Save again to confirm.</translation>
    </message>
    <message>
        <source>A pré-escuta não pode usar a saída do ar (%1): seria ouvida no ar. Ficou &quot;Nenhuma&quot;; escolha outra saída ou salve de novo para confirmar.</source>
        <translation>The preview cannot use the air&apos;s output (%1): it would be heard on air. It is now &quot;None&quot;; choose another output, or save again to confirm.</translation>
    </message>
    <message>
        <source>Transmissão e gravação</source>
        <translation>Stream and air check</translation>
    </message>
    <message>
        <source>Transmissão</source>
        <translation>Stream</translation>
    </message>
    <message>
        <source>Transmitir o ar</source>
        <translation>Stream the air</translation>
    </message>
    <message>
        <source>Formato e taxa de bits</source>
        <translation>Format and bit rate</translation>
    </message>
    <message>
        <source>Gravação do ar</source>
        <translation>Air check</translation>
    </message>
    <message>
        <source>Gravar o ar</source>
        <translation>Record the air</translation>
    </message>
    <message>
        <source>Pasta das gravações</source>
        <translation>Folder of the recordings</translation>
    </message>
    <message>
        <source>Guardar por</source>
        <translation>Keep for</translation>
    </message>
    <message>
        <source> dias</source>
        <translation> days</translation>
    </message>
    <message>
        <source>Um arquivo a cada</source>
        <translation>One file every</translation>
    </message>
    <message>
        <source>Formato</source>
        <translation>Format</translation>
    </message>
    <message>
        <source>Selecionar pasta da gravação do ar</source>
        <translation>Select the air check folder</translation>
    </message>
</context>
<context>
    <name>FixedTimeDialog</name>
    <message>
        <source>Fixa: entra na hora, o que toca sai em fade</source>
        <translation>Hard: starts on time, what plays fades out</translation>
    </message>
    <message>
        <source>Hora</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Hora Fixa</source>
        <translation>Fixed Time</translation>
    </message>
    <message>
        <source>Modo</source>
        <translation>Mode</translation>
    </message>
    <message>
        <source>Próxima: entra quando o que toca terminar</source>
        <translation>Soft: starts when what plays ends</translation>
    </message>
    <message>
        <source>Sem Hora Fixa</source>
        <translation>No Fixed Time</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>0</source>
        <translation>0</translation>
    </message>
    <message>
        <source>00:00:00</source>
        <translation>00:00:00</translation>
    </message>
    <message>
        <source>1</source>
        <translation>1</translation>
    </message>
    <message>
        <source>10</source>
        <translation>10</translation>
    </message>
    <message>
        <source>2</source>
        <translation>2</translation>
    </message>
    <message>
        <source>3</source>
        <translation>3</translation>
    </message>
    <message>
        <source>4</source>
        <translation>4</translation>
    </message>
    <message>
        <source>5</source>
        <translation>5</translation>
    </message>
    <message>
        <source>6</source>
        <translation>6</translation>
    </message>
    <message>
        <source>7</source>
        <translation>7</translation>
    </message>
    <message>
        <source>8</source>
        <translation>8</translation>
    </message>
    <message>
        <source>9</source>
        <translation>9</translation>
    </message>
    <message>
        <source>Acaba às</source>
        <translation>Ends at</translation>
    </message>
    <message>
        <source>Adicionar</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Ajuda</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>Apagar Tudo</source>
        <translation>Clear All</translation>
    </message>
    <message>
        <source>Arquivo</source>
        <translation>File</translation>
    </message>
    <message>
        <source>Arquivos de Texto</source>
        <translation>Text Files</translation>
    </message>
    <message>
        <source>Bibliotecas</source>
        <translation>Libraries</translation>
    </message>
    <message>
        <source>Botoeira</source>
        <translation>ButtonHole</translation>
    </message>
    <message>
        <source>Carregar Playlist</source>
        <translation>Load Playlist</translation>
    </message>
    <message>
        <source>Começar</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>Configurar</source>
        <translation>Configure</translation>
    </message>
    <message>
        <source>Configurações</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Contribua</source>
        <translation>Contribute</translation>
    </message>
    <message>
        <source>Duração</source>
        <translation>Duration</translation>
    </message>
    <message>
        <source>Editar</source>
        <translation>Edit</translation>
    </message>
    <message>
        <source>Erro</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Ferramentas</source>
        <translation>Tools</translation>
    </message>
    <message>
        <source>Hora</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Hora Fixa…</source>
        <translation>Fixed Time…</translation>
    </message>
    <message>
        <source>Hora fixa: %1 às %2, em %3</source>
        <translation>Fixed time: %1 at %2, in %3</translation>
    </message>
    <message>
        <source>Hora fixa: %1 amanhã às %2, em %3</source>
        <translation>Fixed time: %1 tomorrow at %2, in %3</translation>
    </message>
    <message>
        <source>amanhã %1</source>
        <translation>tomorrow %1</translation>
    </message>
    <message>
        <source>Hora Certa</source>
        <translation>The Current Time</translation>
    </message>
    <message>
        <source>Início</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>L</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ler</source>
        <translation>Load</translation>
    </message>
    <message>
        <source>Lista</source>
        <translation>List</translation>
    </message>
    <message>
        <source>Media</source>
        <translation>Media</translation>
    </message>
    <message>
        <source>Músicas</source>
        <translation>Music</translation>
    </message>
    <message>
        <source>NO AR - Reproduzindo agora</source>
        <translation>ON AIR - Now Playing</translation>
    </message>
    <message>
        <source>Nome</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Notas de Atualização</source>
        <translation>Release Notes</translation>
    </message>
    <message>
        <source>Não foi possível carregar a playlist.</source>
        <translation>Unable to load playlist.</translation>
    </message>
    <message>
        <source>Não foi possível salvar a playlist.</source>
        <translation>Unable to save playlist.</translation>
    </message>
    <message>
        <source>Não é possivel carregar estando NO AR.</source>
        <translation>It is not possible to charge while in ON AIR.</translation>
    </message>
    <message>
        <source>Opss</source>
        <translation>Opss</translation>
    </message>
    <message>
        <source>Playlist</source>
        <translation>Playlist</translation>
    </message>
    <message>
        <source>Português do Brasil</source>
        <translation>Português do Brasil</translation>
    </message>
    <message>
        <source>Programas</source>
        <translation>Programs</translation>
    </message>
    <message>
        <source>Próxima</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sair</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Salvar</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Salvar Arquivo</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>Sobre o OrvaRadio</source>
        <translation>About OrvaRadio</translation>
    </message>
    <message>
        <source>Sua playlist foi salva o com sucesso!</source>
        <translation>Your playlist has been saved successfully!</translation>
    </message>
    <message>
        <source>Sucesso</source>
        <translation>Success</translation>
    </message>
    <message>
        <source>Tempo Restante</source>
        <translation>Remaining Time</translation>
    </message>
    <message>
        <source>Todos os arquivos</source>
        <translation>All Files</translation>
    </message>
    <message>
        <source>Ver</source>
        <translation>See</translation>
    </message>
    <message>
        <source>Versão</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Versão: </source>
        <translation>Version: </translation>
    </message>
    <message>
        <source>Vinhetas</source>
        <translation>Jingles</translation>
    </message>
    <message>
        <source>Vinhetas e Publicidades</source>
        <translation>Jingles and Advertisements</translation>
    </message>
    <message>
        <source>O OrvaRadio está no ar. Se sair agora, a emissora fica em silêncio.</source>
        <translation>OrvaRadio is on air. If you quit now, the station goes silent.</translation>
    </message>
    <message>
        <source>Hora certa %1</source>
        <translation>Current time %1</translation>
    </message>
    <message>
        <source>Sair e parar o ar</source>
        <translation>Quit and stop the air</translation>
    </message>
    <message>
        <source>Continuar no ar</source>
        <translation>Stay on air</translation>
    </message>
    <message>
        <source>O OrvaRadio está no ar. Apagar tudo para o que está tocando e esvazia a lista.</source>
        <translation>OrvaRadio is on air. Clearing everything stops what is playing and empties the running order.</translation>
    </message>
    <message>
        <source>Apagar e parar o ar</source>
        <translation>Clear and stop the air</translation>
    </message>
    <message>
        <source>Uso: orvaradio [--help | --version] [opções do Qt, como -platform offscreen]
A mesa com que um operador põe uma emissora de rádio no ar.
  --help     mostra este texto
  --version  mostra a versão
Veja também: orvaradio-report, orvaradio-time-voices, man orvaradio.</source>
        <translation>Usage: orvaradio [--help | --version] [Qt options, such as -platform offscreen]
The desk with which one operator puts a radio station on air.
  --help     shows this text
  --version  shows the version
See also: orvaradio-report, orvaradio-time-voices, man orvaradio.</translation>
    </message>
    <message>
        <source>O OrvaRadio precisa de uma sessão gráfica: nenhuma tela encontrada (DISPLAY/WAYLAND_DISPLAY não definidas)</source>
        <translation>OrvaRadio needs a graphical session: no display found (DISPLAY/WAYLAND_DISPLAY unset)</translation>
    </message>
    <message>
        <source>O OrvaRadio precisa de uma sessão gráfica: a tela %1 não pôde ser aberta</source>
        <translation>OrvaRadio needs a graphical session: the display %1 could not be opened</translation>
    </message>
    <message>
        <source>ganho %1 dB</source>
        <translation>gain %1 dB</translation>
    </message>
    <message>
        <source>normalização desligada</source>
        <translation>normalisation off</translation>
    </message>
    <message>
        <source>Loudness ainda não medida: %1 (estimado)</source>
        <translation>Loudness not measured yet: %1 (estimated)</translation>
    </message>
    <message>
        <source>Loudness %1 LUFS, pico %2 dBTP: %3</source>
        <translation>Loudness %1 LUFS, peak %2 dBTP: %3</translation>
    </message>
    <message>
        <source>Escolha uma saída de pré-escuta na configuração.</source>
        <translation>Choose a preview output in the configuration.</translation>
    </message>
    <message>
        <source>A saída de pré-escuta é a mesma do ar: escolha outra na configuração.</source>
        <translation>The preview output is the on-air output: choose another in the configuration.</translation>
    </message>
    <message>
        <source>A saída de pré-escuta não está conectada.</source>
        <translation>The preview output is not connected.</translation>
    </message>
    <message>
        <source>Não vai ao ar: %1</source>
        <translation>Will not go on air: %1</translation>
    </message>
    <message>
        <source>arquivo não encontrado ou sem permissão de leitura</source>
        <translation>file not found or not readable</translation>
    </message>
    <message>
        <source>arquivo vazio</source>
        <translation>empty file</translation>
    </message>
    <message>
        <source>não é um arquivo de áudio</source>
        <translation>not an audio file</translation>
    </message>
    <message>
        <source>WAV sem dados de áudio</source>
        <translation>WAV file without audio data</translation>
    </message>
    <message>
        <source>o áudio está danificado</source>
        <translation>the audio is damaged</translation>
    </message>
    <message>
        <source>o áudio acaba antes da hora</source>
        <translation>the audio ends early</translation>
    </message>
    <message>
        <source>pasta sem áudio</source>
        <translation>folder without audio</translation>
    </message>
</context>
</TS>
