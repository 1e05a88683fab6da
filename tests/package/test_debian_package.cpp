#include "tests/support/catalog_tool.h"

#include <QtTest>

#include <filesystem>

// The Debian package as a user receives it: built by CPack from this build, checked by
// Debian's own tools, unpacked and its tool run. The program itself is started, through its
// link and from the same install rules, by the installed-program test.
class TestDebianPackage : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    QString deb;
    QString root;  // the package unpacked
    QString depends;

    QString unpacked(const QString &path) const { return QDir(root).filePath(path); }
    static QString firstMatch(const QString &text, const char *pattern)
    {
        return QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::MultilineOption)
            .match(text).captured(1);
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"dpkg-deb", "dpkg-shlibdeps", "lintian", "appstreamcli", "desktop-file-validate", "man"})
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QStringLiteral("needs %1 (scripts/setup.sh installs it)").arg(tool)));
        const ToolRun cpack = runTool(QUORBIX_CPACK_COMMAND, {"-G", "DEB", "--config", QUORBIX_BUILD_DIR "/CPackConfig.cmake",
                                                              "-B", work.path()});
        QVERIFY2(cpack.code == 0, cpack.out + cpack.failure);
        const QString arch = QString::fromUtf8(runTool("dpkg", {"--print-architecture"}).out.trimmed());
        deb = work.filePath(QStringLiteral("quorbix_" QUORBIX_VERSION "_%1.deb").arg(arch));
        QVERIFY2(QFileInfo::exists(deb), qPrintable(QDir(work.path()).entryList().join(' ')));
        root = work.filePath("root");
        QCOMPARE(runTool("dpkg-deb", {"-x", deb, root}).failure, QByteArray());
        depends = QString::fromUtf8(runTool("dpkg-deb", {"-f", deb, "Depends"}).out.trimmed());
    }

    void shouldPassDebiansChecks_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("quiet");  // any warning on standard error fails too
        QTest::newRow("lintian") << "lintian" << QStringList{"--fail-on", "error,warning", "%deb"} << false;
        QTest::newRow("AppStream metadata")
            << "appstreamcli" << QStringList{"validate", "--no-net", "%root/usr/share/metainfo/" QUORBIX_APPSTREAM_ID ".metainfo.xml"}
            << false;
        QTest::newRow("desktop entry") << "desktop-file-validate"
                                       << QStringList{"%root/usr/share/applications/quorbix.desktop"} << true;
        for (const QString &page : QStringLiteral("quorbix " QUORBIX_TOOLS).split(' '))
            QTest::addRow("manual page %s(1)", qPrintable(page))
                << "man" << QStringList{"--warnings", "-l", "%root/usr/share/man/man1/" + page + ".1.gz"} << true;
    }
    void shouldPassDebiansChecks()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(bool, quiet);
        args.replaceInStrings("%deb", deb).replaceInStrings("%root", root);
        const ToolRun r = runTool(program, args, {"MANWIDTH=80", "LC_ALL=C.UTF-8"});
        if (!r.out.isEmpty() && program != "man")
            qInfo().noquote() << r.out;  // lintian's warnings and the validators' notes, for the record
        QVERIFY2(r.code == 0, r.out + r.failure);
        QVERIFY2(!quiet || r.err.isEmpty(), r.err);
        QVERIFY2(program != "desktop-file-validate" || r.out.isEmpty(), r.out);
    }

    void shouldPlaceEachFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("linkTarget");  // empty: a file that is no link
        for (const QString &program : QStringLiteral(QUORBIX_TOOLS).split(' '))
            QTest::addRow("%s", qPrintable(program))
                << "usr/bin/" + program << "../lib/quorbix/" + program;
        QTest::newRow("quorbix") << "usr/bin/quorbix" << "../lib/quorbix/quorbix";
        QTest::newRow("reader") << "usr/lib/quorbix/quorbix-reader" << "";
        QTest::newRow("copyright") << "usr/share/doc/quorbix/copyright" << "";
        QTest::newRow("changelog") << "usr/share/doc/quorbix/changelog.gz" << "";
        QTest::newRow("icon") << "usr/share/icons/hicolor/48x48/apps/quorbix.png" << "";
    }
    void shouldPlaceEachFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, linkTarget);
        const std::filesystem::path file = unpacked(path).toStdString();
        QVERIFY2(std::filesystem::exists(file), qPrintable(path));  // a link's target too
        const bool link = std::filesystem::is_symlink(file);
        QCOMPARE(link ? QString::fromStdString(std::filesystem::read_symlink(file).string()) : QString(), linkTarget);
    }

    // A forgotten bump of the changelog or the software centre's release list shows here.
    void shouldCarryTheProjectVersionEverywhere()
    {
        QCOMPARE(runTool("dpkg-deb", {"-f", deb, "Version"}).out.trimmed(), QByteArray(QUORBIX_VERSION));
        const QString changelog = QString::fromUtf8(runTool("gzip", {"-dc", unpacked("usr/share/doc/quorbix/changelog.gz")}).out);
        QCOMPARE(firstMatch(changelog, "^quorbix \\(([^)]+)\\)"), QStringLiteral(QUORBIX_VERSION));
        QFile metainfo(unpacked("usr/share/metainfo/" QUORBIX_APPSTREAM_ID ".metainfo.xml"));
        QVERIFY(metainfo.open(QIODevice::ReadOnly));
        QCOMPARE(firstMatch(QString::fromUtf8(metainfo.readAll()), "<release version=\"([^\"]+)\""),
                 QStringLiteral(QUORBIX_VERSION));
    }

    void shouldDependOnTheLibrariesItLinks_data()
    {
        QTest::addColumn<QString>("package");
        QTest::newRow("Qt 6 Widgets") << "libqt6widgets6";
        QTest::newRow("SQLite") << "libsqlite3-0";
        QTest::newRow("Qt's Wayland platform") << "qt6-wayland";
    }
    void shouldDependOnTheLibrariesItLinks()
    {
        QFETCH(QString, package);
        const QRegularExpression entry(QStringLiteral("(^|, )%1 \\(>= [^)]+\\)").arg(QRegularExpression::escape(package)));
        QVERIFY2(depends.contains(entry), qPrintable(depends));
    }

    // Every dependency is a Debian package found on this system, none is built here, and the
    // package carries no shared library of its own that would need one.
    void shouldDependOnNothingBuiltFromThisTree()
    {
        QVERIFY(!depends.isEmpty());
        for (const QString &alternatives : depends.split(", ")) {
            const QString name = alternatives.section(' ', 0, 0);
            QVERIFY2(!name.contains("quorbix"), qPrintable(depends));
            QVERIFY2(runTool("dpkg-query", {"-W", name}).code == 0, qPrintable(name));
        }
        const QRegularExpression sharedLibrary(QStringLiteral("\\.so(\\.[0-9]+)*$"));
        QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            QVERIFY2(!it.next().contains(sharedLibrary), qPrintable(it.filePath()));
    }

    void shouldDumpTheCatalogWithTheUnpackedTool()
    {
        const ToolRun dump = runTool(unpacked("usr/bin/catalog-dump"), {unpacked("usr/lib/quorbix/shareware.mdb")});
        QVERIFY2(dump.code == 0, dump.failure);
        QVERIFY2(dump.out.startsWith("TABLE ") && dump.out.contains("\nTABLE Software\n"), dump.out.left(200));
    }
};

QTEST_GUILESS_MAIN(TestDebianPackage)
#include "test_debian_package.moc"
