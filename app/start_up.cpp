#include "app/start_up.h"

#include "main_window/frm_main.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSet>
#include <QTranslator>

static void initResources()
{
    // The icons live in this static library; a static library's resources are registered by hand.
    Q_INIT_RESOURCE(quorbix);
}

void setUpApplication(QApplication &app)
{
    initResources();
    app.setApplicationName(QStringLiteral("Quorbix"));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/quorbix/quorbix-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);
    // The toolkit's own texts (a prompt's Yes and No, a text box's menu) in the user's
    // language; the program's own texts have no translation and stay as they are.
    auto *toolkit = new QTranslator(&app);
    if (toolkit->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(toolkit);
    else
        delete toolkit;
}

std::unique_ptr<frmMain> startMainWindow(Services &services, const QString &appPath, const QString &catalogFile)
{
    auto window = std::make_unique<frmMain>(services, appPath, nullptr, catalogFile);
    window->Form_Load();
    window->show();
    // Take the keyboard: without a window manager nobody else gives it.
    window->activateWindow();
    return window;
}

QString catalogFileArgument(const QStringList &arguments, const QString &currentFolder)
{
    QStringList rest = arguments;
    if (!rest.isEmpty() && rest.first() == QLatin1String("--"))
        rest.removeFirst();
    if (rest.isEmpty() || rest.first().isEmpty())
        return {};
    return QDir::cleanPath(QDir(currentFolder).absoluteFilePath(rest.first()));
}

namespace {

// Qt's own options, which the application object takes out of the arguments itself: those
// followed by a value, and those that stand alone.
const QSet<QString> &qtOptionsWithValue()
{
    static const QSet<QString> options{
        QStringLiteral("platform"),   QStringLiteral("platformpluginpath"), QStringLiteral("platformtheme"),
        QStringLiteral("plugin"),     QStringLiteral("qwindowgeometry"),    QStringLiteral("qwindowicon"),
        QStringLiteral("qwindowtitle"), QStringLiteral("display"),          QStringLiteral("geometry"),
        QStringLiteral("style"),      QStringLiteral("stylesheet"),         QStringLiteral("session"),
        QStringLiteral("name"),       QStringLiteral("title"),              QStringLiteral("visual"),
        QStringLiteral("icon")};
    return options;
}
const QSet<QString> &qtFlags()
{
    static const QSet<QString> flags{QStringLiteral("reverse"), QStringLiteral("widgetcount"),
                                     QStringLiteral("nograb"),  QStringLiteral("dograb"),
                                     QStringLiteral("sync"),    QStringLiteral("testability")};
    return flags;
}

QString refusal(const QString &why)
{
    return QStringLiteral("quorbix: ") + why + QStringLiteral("; see 'quorbix --help'.");
}

}  // namespace

CommandLine readCommandLine(const QStringList &arguments, const QString &currentFolder)
{
    CommandLine line;
    QStringList names;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (optionsEnd || !argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) {
            if (!argument.isEmpty())
                names << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            line.action = CommandLine::Action::Help;
            line.text = QStringLiteral(
                "Usage: quorbix [CATALOG]\n"
                "Browse a catalog of downloadable software titles.\n"
                "\n"
                "  CATALOG     the catalog file to read (.mdb or .accdb); without it, the\n"
                "              shareware.mdb beside the program\n"
                "  --          what follows is the catalog's name, even one that starts with '-'\n"
                "  --help      show this help and end\n"
                "  --version   show the version and end\n"
                "\n"
                "Qt's own options (-platform NAME, -style NAME, ...) are taken as well.\n");
            return line;
        }
        if (argument == QLatin1String("--version")) {
            line.action = CommandLine::Action::Version;
            line.text = QStringLiteral("quorbix ") + QStringLiteral(QUORBIX_VERSION) + QLatin1Char('\n');
            return line;
        }
        // Qt takes its options with one dash or two and the value after them; with "=" only
        // the style options (and the QML debugger's).
        const QString bare = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        if (qtFlags().contains(bare) || bare.startsWith(QLatin1String("qmljsdebugger="))
            || bare.startsWith(QLatin1String("style=")) || bare.startsWith(QLatin1String("stylesheet=")))
            continue;
        if (qtOptionsWithValue().contains(bare)) {
            ++i;
            continue;
        }
        line.action = CommandLine::Action::Refuse;
        line.text = refusal(QStringLiteral("unknown option '%1'").arg(argument));
        return line;
    }
    if (names.size() > 1) {
        line.action = CommandLine::Action::Refuse;
        line.text = refusal(QStringLiteral("one catalog at a time, not '%1' and '%2'").arg(names.at(0), names.at(1)));
        return line;
    }
    line.catalogFile = catalogFileArgument(QStringList{QStringLiteral("--")} + names, currentFolder);
    return line;
}

int argumentsForQt(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--") == 0)
            return i;
    }
    return argc;
}
