// The interface language: the English catalogue, the language at start and
// the switch from the menu.
#include "mainwindow.h"
#include "testsupport.h"

#include <QAction>
#include <QDataStream>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTextBrowser>
#include <QTranslator>
#include <QTreeWidget>

#include <memory>

namespace {

// Every message of the English catalogue; a null English text is a message
// kept without translation, shown in Portuguese.
const struct {
    const char *context;
    const char *source;
    const char *english;
} kCatalogue[] = {
    {"AboutDialog", "Orgulhosamente Brasileiro", "Proudly Brazilian"},
    {"AboutDialog", "Versão: ", "Version: "},
    {"AboutDialog", "por:", "By:"},
    {"AirFeeds", "Stream: no ar", "Stream: on"},
    {"AirFeeds", "Stream: reconectando", "Stream: reconnecting"},
    {"AirFeeds", "Stream: recusado: confira o usuário e a senha", "Stream: refused: check the user and password"},
    {"AirFeeds", "Stream: recusado: %1", "Stream: refused: %1"},
    {"AirFeeds", "Stream: desligado", "Stream: off"},
    {"AirFeeds", "Gravação do ar: gravando", "Air check: recording"},
    {"AirFeeds", "Gravação do ar: falhando", "Air check: failing"},
    {"AirFeeds", "Gravação do ar: desligada", "Air check: off"},
    {"ButtonHole", "Arquivos de Audio", "Audio Files"},
    {"ButtonHole", "Carregar Audio", "Load Audio"},
    {"ConfigDialog", "Atenção: para as alterações surtirem efeito, reinicie o OrvaRadio.", "Attention: for the changes to take effect, restart OrvaRadio."},
    {"ConfigDialog", "Caminhos", "Paths"},
    {"ConfigDialog", "Diretório de Horas", "Hours Directory"},
    {"ConfigDialog", "Diretório de Músicas", "Music Directory"},
    {"ConfigDialog", "Diretório de Vinhetas", "Jingle Directory"},
    {"ConfigDialog", "Falar as horas ao clicar no relógio", "Speak the time when clicking on the clock"},
    {"ConfigDialog", "Segundos", "Seconds"},
    {"ConfigDialog", "Selecionar pasta de Locução de Hora", "Select Time Voiceover Folder"},
    {"ConfigDialog", "Selecionar pasta de músicas", "Select music folder"},
    {"ConfigDialog", "Selecionar pasta de vinhetas", "Select jingle folder"},
    {"ConfigDialog", "Sobrepôr Áudios (FadeIn e FadeOut)", "Overlay Audio (FadeIn and FadeOut)"},
    {"ConfigDialog", "Usar FadeIn e FadeOut ao falar as horas", "Using FadeIn and FadeOut when telling the time"},
    {"ConfigDialog", "Usar FadeOut ao parar", "Use FadeOut when stopping"},
    {"ConfigDialog", "Áudio", "Audio"},
    {"ConfigDialog", "Igualar a loudness dos itens (EBU R128)", "Even out the items' loudness (EBU R128)"},
    {"ConfigDialog", "Nível alvo", "Target level"},
    {"ConfigDialog", "Cortar o silêncio no início e no fim dos áudios", "Cut the silence at the start and end of items"},
    {"ConfigDialog", "Limiar de silêncio", "Silence threshold"},
    {"ConfigDialog", "Início do fade-out", "Fade-out start"},
    {"ConfigDialog", "LU abaixo da loudness do item", "LU below the item's loudness"},
    {"ConfigDialog", "Saída do ar", "On-air output"},
    {"ConfigDialog", "Saída de pré-escuta", "Preview output"},
    {"ConfigDialog", "Padrão do sistema", "System default"},
    {"ConfigDialog", "Nenhuma", "None"},
    {"ConfigDialog", "%1 (não conectada)", "%1 (not connected)"},
    {"ConfigDialog", "Agora no ar", "Now playing"},
    {"ConfigDialog", "Pasta dos arquivos", "Folder of the files"},
    {"ConfigDialog", "Anunciar também vinhetas, horas e cartuchos", "Also announce jingles, time announcements and carts"},
    {"ConfigDialog", "Servidor de streaming (endereço)", "Stream server (address)"},
    {"ConfigDialog", "Ponto de montagem", "Mount point"},
    {"ConfigDialog", "Usuário", "User"},
    {"ConfigDialog", "Senha", "Password"},
    {"ConfigDialog", "Selecionar pasta dos arquivos de agora no ar", "Select the folder for the now-playing files"},
    {"ConfigDialog", "Usar FadeOut e FadeIn ao clicar para falar", "Use FadeOut and FadeIn when clicking to talk"},
    {"ConfigDialog", "Velocidade do FadeIn e Out", "FadeIn and Out Speed"},
    {"ConfigDialog",
     "A velocidade %1 é rápida demais para baixar a música ao nível de fala (%2%). A mais rápida "
     "que funciona é %3: ajustada. Salve de novo para confirmar.",
     "Speed %1 is too fast to lower the music to the talk-over level (%2%). The fastest that works "
     "is %3: adjusted. Save again to confirm."},
    {"ConfigDialog",
     "A pré-escuta não pode usar a saída do ar (%1): seria ouvida no ar. Ficou \"Nenhuma\"; escolha outra "
     "saída ou salve de novo para confirmar.",
     "The preview cannot use the air's output (%1): it would be heard on air. It is now \"None\"; choose "
     "another output, or save again to confirm."},
    {"ConfigDialog", "Transmissão e gravação", "Stream and air check"},
    {"ConfigDialog", "Transmissão", "Stream"},
    {"ConfigDialog", "Transmitir o ar", "Stream the air"},
    {"ConfigDialog", "Formato e taxa de bits", "Format and bit rate"},
    {"ConfigDialog", "Gravação do ar", "Air check"},
    {"ConfigDialog", "Gravar o ar", "Record the air"},
    {"ConfigDialog", "Pasta das gravações", "Folder of the recordings"},
    {"ConfigDialog", "Guardar por", "Keep for"},
    {"ConfigDialog", " dias", " days"},
    {"ConfigDialog", "Um arquivo a cada", "One file every"},
    {"ConfigDialog", "Formato", "Format"},
    {"ConfigDialog", "Selecionar pasta da gravação do ar", "Select the air check folder"},
    {"ConfigDialog", "Volumes", nullptr},
    {"MainWindow", "0", "0"},
    {"MainWindow", "00:00:00", "00:00:00"},
    {"MainWindow", "1", "1"},
    {"MainWindow", "10", "10"},
    {"MainWindow", "2", "2"},
    {"MainWindow", "3", "3"},
    {"MainWindow", "4", "4"},
    {"MainWindow", "5", "5"},
    {"MainWindow", "6", "6"},
    {"MainWindow", "7", "7"},
    {"MainWindow", "8", "8"},
    {"MainWindow", "9", "9"},
    {"MainWindow", "Acaba às", "Ends at"},
    {"MainWindow", "Adicionar", "Add"},
    {"MainWindow", "Ajuda", "Help"},
    {"MainWindow", "Apagar Tudo", "Clear All"},
    {"MainWindow", "Arquivo", "File"},
    {"MainWindow", "Arquivos de Texto", "Text Files"},
    {"MainWindow", "Bibliotecas", "Libraries"},
    {"MainWindow", "Botoeira", "ButtonHole"},
    {"MainWindow", "Carregar Playlist", "Load Playlist"},
    {"MainWindow", "Começar", "Start"},
    {"MainWindow", "Configurar", "Configure"},
    {"MainWindow", "Configurações", "Settings"},
    {"MainWindow", "Contribua", "Contribute"},
    {"MainWindow", "Duração", "Duration"},
    {"MainWindow", "Editar", "Edit"},
    {"MainWindow", "Erro", "Error"},
    {"MainWindow", "Ferramentas", "Tools"},
    {"MainWindow", "Hora", "Time"},
    {"FixedTimeDialog", "Fixa: entra na hora, o que toca sai em fade", "Hard: starts on time, what plays fades out"},
    {"FixedTimeDialog", "Hora", "Time"},
    {"FixedTimeDialog", "Hora Fixa", "Fixed Time"},
    {"FixedTimeDialog", "Modo", "Mode"},
    {"FixedTimeDialog", "Próxima: entra quando o que toca terminar", "Soft: starts when what plays ends"},
    {"FixedTimeDialog", "Sem Hora Fixa", "No Fixed Time"},
    {"MainWindow", "Hora Fixa…", "Fixed Time…"},
    {"MainWindow", "Hora fixa: %1 às %2, em %3", "Fixed time: %1 at %2, in %3"},
    {"MainWindow", "Hora fixa: %1 amanhã às %2, em %3", "Fixed time: %1 tomorrow at %2, in %3"},
    {"MainWindow", "amanhã %1", "tomorrow %1"},
    {"MainWindow", "Hora Certa", "The Current Time"},
    {"MainWindow", "Início", "Start"},
    {"MainWindow", "L", nullptr},
    {"MainWindow", "Ler", "Load"},
    {"MainWindow", "Lista", "List"},
    {"MainWindow", "Media", "Media"},
    {"MainWindow", "Músicas", "Music"},
    {"MainWindow", "NO AR - Reproduzindo agora", "ON AIR - Now Playing"},
    {"MainWindow", "Nome", "Name"},
    {"MainWindow", "Notas de Atualização", "Release Notes"},
    {"MainWindow", "Não foi possível carregar a playlist.", "Unable to load playlist."},
    {"MainWindow", "Não foi possível salvar a playlist.", "Unable to save playlist."},
    {"MainWindow", "Não é possivel carregar estando NO AR.", "It is not possible to charge while in ON AIR."},
    {"MainWindow", "Opss", "Opss"},
    {"MainWindow", "Playlist", "Playlist"},
    {"MainWindow", "Português do Brasil", "Português do Brasil"},
    {"MainWindow", "Programas", "Programs"},
    {"MainWindow", "Próxima", "Next"},
    {"MainWindow", "R", nullptr},
    {"MainWindow", "Sair", "Exit"},
    {"MainWindow", "Hora certa %1", "Current time %1"},
    {"MainWindow", "Sair e parar o ar", "Quit and stop the air"},
    {"MainWindow", "Continuar no ar", "Stay on air"},
    {"MainWindow", "O OrvaRadio está no ar. Se sair agora, a emissora fica em silêncio.",
     "OrvaRadio is on air. If you quit now, the station goes silent."},
    {"MainWindow", "Apagar e parar o ar", "Clear and stop the air"},
    {"MainWindow",
     "O OrvaRadio está no ar. Apagar tudo para o que está tocando e esvazia a lista.",
     "OrvaRadio is on air. Clearing everything stops what is playing and empties the running "
     "order."},
    {"MainWindow",
     "Uso: orvaradio [--help | --version] [opções do Qt, como -platform offscreen]\nA mesa com que um operador põe uma emissora de rádio no ar.\n  --help     mostra este texto\n  --version  mostra a versão\nVeja também: orvaradio-report, orvaradio-time-voices, man orvaradio.",
     "Usage: orvaradio [--help | --version] [Qt options, such as -platform offscreen]\nThe desk with which one operator puts a radio station on air.\n  --help     shows this text\n  --version  shows the version\nSee also: orvaradio-report, orvaradio-time-voices, man orvaradio."},
    {"MainWindow",
     "O OrvaRadio precisa de uma sessão gráfica: nenhuma tela encontrada (DISPLAY/WAYLAND_DISPLAY não definidas)",
     "OrvaRadio needs a graphical session: no display found (DISPLAY/WAYLAND_DISPLAY unset)"},
    {"MainWindow",
     "O OrvaRadio precisa de uma sessão gráfica: a tela %1 não pôde ser aberta",
     "OrvaRadio needs a graphical session: the display %1 could not be opened"},
    {"MainWindow", "Não vai ao ar: %1", "Will not go on air: %1"},
    {"MainWindow", "arquivo não encontrado ou sem permissão de leitura", "file not found or not readable"},
    {"MainWindow", "arquivo vazio", "empty file"},
    {"MainWindow", "não é um arquivo de áudio", "not an audio file"},
    {"MainWindow", "WAV sem dados de áudio", "WAV file without audio data"},
    {"MainWindow", "o áudio está danificado", "the audio is damaged"},
    {"MainWindow", "o áudio acaba antes da hora", "the audio ends early"},
    {"MainWindow", "pasta sem áudio", "folder without audio"},
    {"MainWindow", "ganho %1 dB", "gain %1 dB"},
    {"MainWindow", "Escolha uma saída de pré-escuta na configuração.", "Choose a preview output in the configuration."},
    {"MainWindow", "A saída de pré-escuta é a mesma do ar: escolha outra na configuração.",
     "The preview output is the on-air output: choose another in the configuration."},
    {"MainWindow", "A saída de pré-escuta não está conectada.", "The preview output is not connected."},
    {"MainWindow", "normalização desligada", "normalisation off"},
    {"MainWindow", "Loudness ainda não medida: %1 (estimado)", "Loudness not measured yet: %1 (estimated)"},
    {"MainWindow", "Loudness %1 LUFS, pico %2 dBTP: %3", "Loudness %1 LUFS, peak %2 dBTP: %3"},
    {"MainWindow", "Salvar", "Save"},
    {"MainWindow", "Salvar Arquivo", "Save File"},
    {"MainWindow", "Sobre o OrvaRadio", "About OrvaRadio"},
    {"MainWindow", "Sua playlist foi salva o com sucesso!", "Your playlist has been saved successfully!"},
    {"MainWindow", "Sucesso", "Success"},
    {"MainWindow", "Tempo Restante", "Remaining Time"},
    {"MainWindow", "Todos os arquivos", "All Files"},
    {"MainWindow", "Ver", "See"},
    {"MainWindow", "Versão", "Version"},
    {"MainWindow", "Versão: ", "Version: "},
    {"MainWindow", "Vinhetas", "Jingles"},
    {"MainWindow", "Vinhetas e Publicidades", "Jingles and Advertisements"},
};

// "context|source" of every message a compiled catalogue holds, read from its
// messages section (tag 0x69); each record but the end mark (1) carries a
// length-prefixed field: 6 is the source text, 7 the context.
QSet<QString> compiledMessages(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QDataStream in(&file);
    in.skipRawData(16); // magic number
    QSet<QString> messages;
    while (!in.atEnd()) {
        quint8 tag;
        QByteArray section;
        in >> tag >> section;
        QDataStream records(section);
        QHash<quint8, QByteArray> fields;
        for (quint8 record; tag == 0x69 && !records.atEnd();) {
            records >> record;
            if (record == 1)
                messages.insert(QString::fromUtf8(fields[7] + '|' + fields[6]));
            else
                records >> fields[record];
        }
    }
    return messages;
}

QString pathOf(const QString &code)
{
    return QStringLiteral(":/languages/") + code + QStringLiteral(".qm");
}

QString storedLanguage()
{
    return QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
        .value(QStringLiteral("interface/language"))
        .toString();
}

// What a widget, menu or action of the form shows.
QString shown(const MainWindow &window, const char *name)
{
    const QObject *object = window.findChild<QObject *>(QLatin1String(name));
    if (const auto *label = qobject_cast<const QLabel *>(object))
        return label->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(object))
        return group->title();
    if (const auto *menu = qobject_cast<const QMenu *>(object))
        return menu->title();
    if (const auto *action = qobject_cast<const QAction *>(object))
        return action->text();
    if (const auto *list = qobject_cast<const QTreeWidget *>(object))
        return list->headerItem()->text(1);
    return QStringLiteral("<no %1>").arg(QLatin1String(name));
}

void checkForm(const MainWindow &window, bool english)
{
    const struct {
        const char *name;
        const char *portuguese;
        const char *english;
    } texts[] = {
        {"version", "Versão: 1.0.4", "Version: 1.0.4"},
        {"groupBox", "NO AR - Reproduzindo agora", "ON AIR - Now Playing"},
        {"label_3", "Botoeira", "ButtonHole"},
        {"audio_list", "Nome", "Name"},
        {"menuArquivo", "Arquivo", "File"},
        {"actionConfig", "Configurações", "Settings"},
        {"l_label", "L", "L"},
        {"menuLanguage", "Language", "Language"},
        {"actionLanguageENUS", "English", "English"},
    };
    for (const auto &text : texts)
        QCOMPARE(shown(window, text.name), QString::fromUtf8(english ? text.english : text.portuguese));
    // The browsers' column title comes from their model, not from the form.
    const auto *files = window.findChild<QTreeView *>(QStringLiteral("files"));
    QCOMPARE(files->model()->headerData(0, Qt::Horizontal).toString(),
             english ? QStringLiteral("Name") : QStringLiteral("Nome"));
}

} // namespace

class LanguageTest : public QObject
{
    Q_OBJECT

private slots:
    void catalogueTranslates_data()
    {
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("expected");
        for (const auto &message : kCatalogue)
            QTest::addRow("%s %s", message.context, message.source)
                << message.context << QString::fromUtf8(message.source)
                << QString::fromUtf8(message.english ? message.english : message.source);
        // Texts the catalogue does not hold, or holds in another context only.
        const char *const untouched[][2] = {
            {"MainWindow", "English"}, {"MainWindow", "Language"}, {"MainWindow", "Tutorial"},
            {"MainWindow", "+8"}, {"MainWindow", "-30"}, {"MainWindow", "OrvaRadio"},
            {"MainWindow", "Carregar Audio"}, {"ConfigDialog", "Versão: "}, {"AboutDialog", "Segundos"},
        };
        for (const auto &text : untouched)
            QTest::addRow("untouched %s %s", text[0], text[1])
                << text[0] << QString::fromUtf8(text[1]) << QString::fromUtf8(text[1]);
    }

    void catalogueTranslates()
    {
        QFETCH(QString, context);
        QFETCH(QString, source);
        QTranslator english;
        QVERIFY(english.load(pathOf(QStringLiteral("en_US"))));
        const QString translated = english.translate(context.toUtf8(), source.toUtf8());
        QTEST(translated.isEmpty() ? source : translated, "expected");
    }

    void catalogueHoldsNothingElse()
    {
        QSet<QString> expected;
        for (const auto &message : kCatalogue)
            if (message.english)
                expected.insert(QLatin1String(message.context) + QLatin1Char('|') + QString::fromUtf8(message.source));
        QCOMPARE(compiledMessages(pathOf(QStringLiteral("en_US"))), expected);

        QTranslator portuguese;
        QVERIFY(portuguese.load(pathOf(QStringLiteral("pt_BR"))));
        QVERIFY(compiledMessages(pathOf(QStringLiteral("pt_BR"))).isEmpty());
    }

    void startsInStoredLanguage_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("storedAfter");
        QTest::newRow("first start") << QString() << true << "en_US";
        QTest::newRow("English") << "en_US" << true << "en_US";
        QTest::newRow("Portuguese") << "pt_BR" << false << "pt_BR";
        QTest::newRow("code without a file") << "de_DE" << false << "de_DE";
    }

    void startsInStoredLanguage()
    {
        QFETCH(QString, stored);
        QFETCH(bool, english);
        TestSupport::clearSettings();
        if (!stored.isEmpty())
            QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
                .setValue(QStringLiteral("interface/language"), stored);
        MainWindow window;
        checkForm(window, english);
        QTEST(storedLanguage(), "storedAfter");
    }

    void menuSwitchesAtOnceAndForNextStart()
    {
        TestSupport::clearSettings();
        auto window = std::make_unique<MainWindow>();
        window->findChild<QAction *>(QStringLiteral("actionLanguagePTBR"))->trigger();
        checkForm(*window, false);
        QCOMPARE(storedLanguage(), QStringLiteral("pt_BR"));

        window = std::make_unique<MainWindow>();
        checkForm(*window, false);
        window->findChild<QAction *>(QStringLiteral("actionLanguageENUS"))->trigger();
        checkForm(*window, true);
        QCOMPARE(storedLanguage(), QStringLiteral("en_US"));
    }

    void qtStandardTextsFollowTheMenu()
    {
        TestSupport::clearSettings();
        MainWindow window;
        const auto cancel = [] {
            return QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text();
        };
        window.findChild<QAction *>(QStringLiteral("actionLanguagePTBR"))->trigger();
        QCOMPARE(cancel(), QStringLiteral("Cancelar"));
        window.findChild<QAction *>(QStringLiteral("actionLanguageENUS"))->trigger();
        QCOMPARE(cancel(), QStringLiteral("Cancel"));
    }

    void failedSwitchKeepsFormAndSetting()
    {
        TestSupport::clearSettings();
        MainWindow window;
        window.changeLanguage(QStringLiteral("de_DE"));
        checkForm(window, true);
        QCOMPARE(storedLanguage(), QStringLiteral("en_US"));
        // The translator is out: texts built from now on are Portuguese.
        QCOMPARE(QCoreApplication::translate("MainWindow", "Hora Certa"), QStringLiteral("Hora Certa"));
    }

    void timeTitleFollowsTheLanguageInListAndOnAirBox()
    {
        TestSupport::clearSettings();
        QSettings(QStringLiteral("OrvaRadio"), QStringLiteral("OrvaRadio"))
            .setValue(QStringLiteral("interface/language"), QStringLiteral("pt_BR"));
        MainWindow window;
        window.on_btn_add_time_item_clicked();
        window.findChild<QAction *>(QStringLiteral("actionLanguageENUS"))->trigger();
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::Current, 0);
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, true);
        window.updateAudioList();
        TestSupport::setOrder(*window.sequencer, TestSupport::OrderField::OnAir, false);
        QCOMPARE(window.findChild<QTreeWidget *>(QStringLiteral("audio_list"))->topLevelItem(0)->text(1),
                 QStringLiteral("The Current Time"));
        QCOMPARE(window.findChild<QTextBrowser *>(QStringLiteral("current_audio"))->toPlainText(),
                 QStringLiteral("The Current Time"));
        QCOMPARE(window.playlist.front().title, QStringLiteral("Hora Certa"));
    }
};

ORVA_TEST_MAIN(LanguageTest)
#include "tst_language.moc"
