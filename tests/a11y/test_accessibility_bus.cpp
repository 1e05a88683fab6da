// What a screen reader meets over the desktop's accessibility bus, from outside the program.
//
// Starts Xvfb with openbox, a private session bus and the accessibility bus, then the real
// program on a fixture catalog, and asks it what a screen reader asks (through libatspi, as
// the readers do): text around offsets, actions, the tree. Every request must be answered
// within kAnswerMs; the buses and the registry daemon are stopped by process id at the end.

#include <atspi/atspi.h>  // before Qt: glib names its members "signals"

#include "tests/support/a11y_session.h"
#include "tests/support/desktop_session.h"
#include "tests/support/test_data.h"

#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int kAnswerMs = 2000;
constexpr int kOpenMs = 10000;

// A reference to an accessible object, released when it goes.
struct Ref {
    AtspiAccessible *p = nullptr;
    Ref() = default;
    explicit Ref(AtspiAccessible *object) : p(object) {}
    Ref(const Ref &other) : p(other.p ? static_cast<AtspiAccessible *>(g_object_ref(other.p)) : nullptr) {}
    Ref &operator=(Ref other)
    {
        std::swap(p, other.p);
        return *this;
    }
    ~Ref()
    {
        if (p)
            g_object_unref(p);
    }
    explicit operator bool() const { return p; }
};

QString takeString(gchar *text)
{
    const QString s = QString::fromUtf8(text ? text : "");
    g_free(text);
    return s;
}

// The error a request ended with, or empty; the error is freed.
QString failure(GError *error)
{
    if (!error)
        return QString();
    const QString message = QString::fromUtf8(error->message);
    g_error_free(error);
    return message.isEmpty() ? QStringLiteral("error") : message;
}

QString nameOf(const Ref &object)
{
    GError *error = nullptr;
    const QString name = takeString(atspi_accessible_get_name(object.p, &error));
    failure(error);
    return name;
}

AtspiRole roleOf(const Ref &object)
{
    GError *error = nullptr;
    const AtspiRole role = atspi_accessible_get_role(object.p, &error);
    return failure(error).isEmpty() ? role : ATSPI_ROLE_INVALID;
}

bool hasState(const Ref &object, AtspiStateType state)
{
    AtspiStateSet *states = atspi_accessible_get_state_set(object.p);
    const bool has = states && atspi_state_set_contains(states, state);
    if (states)
        g_object_unref(states);
    return has;
}

QList<Ref> childrenOf(const Ref &object)
{
    QList<Ref> all;
    GError *error = nullptr;
    const int count = atspi_accessible_get_child_count(object.p, &error);
    if (!failure(error).isEmpty())
        return all;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible *child = atspi_accessible_get_child_at_index(object.p, i, &error);
        if (failure(error).isEmpty() && child)
            all << Ref(child);
    }
    return all;
}

// The names of `object`'s children, in the order the bus lists them; with `roles`, each as
// "role: name".
QStringList namesOf(const Ref &object, bool roles = false)
{
    QStringList names;
    for (const Ref &child : childrenOf(object)) {
        GError *error = nullptr;
        const QString role = roles ? takeString(atspi_accessible_get_role_name(child.p, &error)) + ": " : QString();
        names << role + nameOf(child);
        failure(error);
    }
    return names;
}

// The first child (depth first, not into lists and grids) with that role and name.
Ref find(const Ref &root, AtspiRole role, const QString &name, int depth = 4)
{
    for (const Ref &child : childrenOf(root)) {
        if (roleOf(child) == role && nameOf(child) == name)
            return child;
        const AtspiRole childRole = roleOf(child);
        if (depth > 0 && childRole != ATSPI_ROLE_LIST && childRole != ATSPI_ROLE_TABLE) {
            if (Ref found = find(child, role, name, depth - 1))
                return found;
        }
    }
    return Ref();
}

QStringList targetsOf(const Ref &object, AtspiRelationType type)
{
    QStringList names;
    GError *error = nullptr;
    GArray *relations = atspi_accessible_get_relation_set(object.p, &error);
    if (!failure(error).isEmpty() || !relations)
        return names;
    for (guint i = 0; i < relations->len; ++i) {
        AtspiRelation *relation = g_array_index(relations, AtspiRelation *, i);
        if (atspi_relation_get_relation_type(relation) == type) {
            for (int t = 0; t < atspi_relation_get_n_targets(relation); ++t)
                names << nameOf(Ref(atspi_relation_get_target(relation, t)));
        }
        g_object_unref(relation);
    }
    g_array_free(relations, TRUE);
    return names;
}

QString textOf(const Ref &object)
{
    AtspiText *text = atspi_accessible_get_text_iface(object.p);
    if (!text)
        return QStringLiteral("(no text)");
    GError *error = nullptr;
    const QString all = takeString(atspi_text_get_text(text, 0, -1, &error));
    g_object_unref(text);
    const QString why = failure(error);
    return why.isEmpty() ? all : QStringLiteral("(error: %1)").arg(why);
}

// Takes in what the bus has announced (a program that came, a window that went).
void pump()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

// Runs `request` and says how long it took.
qint64 timed(const std::function<void()> &request)
{
    QElapsedTimer clock;
    clock.start();
    request();
    return clock.elapsed();
}

// Presses the action `name` of `object`; the answer, and the time it took in `ms`.
QString press(const Ref &object, qint64 *ms = nullptr, const QString &name = QStringLiteral("Press"))
{
    AtspiAction *action = atspi_accessible_get_action_iface(object.p);
    if (!action)
        return QStringLiteral("no action");
    GError *error = nullptr;
    const int count = atspi_action_get_n_actions(action, &error);
    int found = -1;
    for (int i = 0; i < count && found < 0; ++i) {
        if (takeString(atspi_action_get_action_name(action, i, &error)).compare(name, Qt::CaseInsensitive) == 0)
            found = i;
    }
    QString answer = found < 0 ? QStringLiteral("no %1 action").arg(name) : QString();
    if (found >= 0) {
        gboolean done = FALSE;
        const qint64 took = timed([&] { done = atspi_action_do_action(action, found, &error); });
        if (ms)
            *ms = took;
        answer = failure(error);
        if (answer.isEmpty() && !done)
            answer = QStringLiteral("refused");
    }
    g_object_unref(action);
    return answer;
}

// ---- The program under test ----------------------------------------------------------------

struct Running {
    QProcess program;
    Ref app;
};
Running *running = nullptr;

// The program's top-level windows, as the bus lists them.
QList<Ref> windows() { return childrenOf(running->app); }

// Waits for `done`, taking in what the bus announces meanwhile; true when it came.
bool waitUntil(const std::function<bool()> &done, int ms = kOpenMs)
{
    return desktop::waitFor([&] { pump(); return done(); }, ms);
}

// The shown window whose name starts with `name`, once the bus lists it.
Ref waitForWindow(const QString &name)
{
    Ref found;
    waitUntil([&] {
        for (const Ref &window : windows())
            if (nameOf(window).startsWith(name) && hasState(window, ATSPI_STATE_SHOWING))
                found = window;
        return bool(found);
    });
    return found;
}

// True once no window whose name starts with `name` is listed.
bool waitForGone(const QString &name)
{
    return waitUntil([&] {
        const QStringList names = namesOf(running->app);
        return std::none_of(names.begin(), names.end(), [&](const QString &n) { return n.startsWith(name); });
    });
}

const QString kAllTitles = QStringLiteral("Search Results for ''");
const QString kDetail = QStringLiteral("Software Detail Screen");

}  // namespace

class TestAccessibilityBus : public QObject {
    Q_OBJECT

    Ref m_main;

    // The main window's controls as the bus lists them.
    Ref mainControl(AtspiRole role, const QString &name) { return find(m_main, role, name, 1); }

    bool setSearchText(const QString &text)
    {
        const Ref box = mainControl(ATSPI_ROLE_TEXT, "Search");
        AtspiEditableText *editable = box ? atspi_accessible_get_editable_text_iface(box.p) : nullptr;
        if (!editable)
            return false;
        GError *error = nullptr;
        const bool set = atspi_editable_text_set_text_contents(editable, text.toUtf8().constData(), &error);
        g_object_unref(editable);
        return failure(error).isEmpty() && set;
    }
    // Opens the results window of every title through GO, as a reader presses it.
    Ref openAllTitles()
    {
        if (!setSearchText(QString()))
            return Ref();
        if (!press(mainControl(ATSPI_ROLE_PUSH_BUTTON, "GO")).isEmpty())
            return Ref();
        return waitForWindow(kAllTitles);
    }
    // A cell of the first row of the results' grid; `header`, if given, takes its column's header.
    static Ref firstRowCell(const Ref &results, int column, QString *header = nullptr)
    {
        const Ref grid = results ? find(results, ATSPI_ROLE_TABLE, "Titles", 1) : Ref();
        AtspiTable *table = grid ? atspi_accessible_get_table_iface(grid.p) : nullptr;
        if (!table)
            return Ref();
        GError *error = nullptr;
        Ref cell(atspi_table_get_accessible_at(table, 0, column, &error));
        if (header && failure(error).isEmpty())
            *header = takeString(atspi_table_get_column_description(table, column, &error));
        g_object_unref(table);
        return failure(error).isEmpty() ? cell : Ref();
    }
    Ref openDetailOfFirstRow(const Ref &results)
    {
        const Ref cell = firstRowCell(results, 0);
        if (!cell || !press(cell).isEmpty())
            return Ref();
        return waitForWindow(kDetail);
    }
    // Closes `window` by its Close button; true once it has left the tree.
    bool close(const Ref &window)
    {
        const QString name = nameOf(window);
        qint64 ms = 0;
        return press(find(window, ATSPI_ROLE_PUSH_BUTTON, "Close", 1), &ms).isEmpty() && ms < kAnswerMs
               && waitForGone(name);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(running && running->app);
        QVERIFY2(waitUntil([&] { return (m_main = windows().value(0)) && find(m_main, ATSPI_ROLE_PUSH_BUTTON, "GO", 1); }, 20000),
                 "the main window did not come on the bus");
    }
    void cleanup()
    {
        // Whatever a case left open is closed, the detail window before the results under it,
        // so that the next case starts at the main window.
        for (const QString &name : {kDetail, QStringLiteral("")}) {
            for (const Ref &window : windows().mid(1)) {
                const QString windowName = nameOf(window);
                if (!windowName.startsWith(name))
                    continue;
                const Ref button = find(window, ATSPI_ROLE_PUSH_BUTTON, "Close", 1);
                const Ref ok = find(window, ATSPI_ROLE_PUSH_BUTTON, "OK", 2);
                press(button ? button : ok);
                waitForGone(windowName);
            }
        }
    }

    // The search box answers every text request, at every offset, in time and consistently:
    // the text it returns is the text between the offsets it returns.
    void shouldAnswerEveryTextRequestOfTheSearchBox_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("request");
        QTest::addColumn<int>("unit");
        const QList<QPair<const char *, int>> boundaries{
            {"char", ATSPI_TEXT_BOUNDARY_CHAR},
            {"word start", ATSPI_TEXT_BOUNDARY_WORD_START},
            {"word end", ATSPI_TEXT_BOUNDARY_WORD_END},
            {"sentence start", ATSPI_TEXT_BOUNDARY_SENTENCE_START},
            {"sentence end", ATSPI_TEXT_BOUNDARY_SENTENCE_END},
            {"line start", ATSPI_TEXT_BOUNDARY_LINE_START},
            {"line end", ATSPI_TEXT_BOUNDARY_LINE_END}};
        for (const QString text : {QStringLiteral("zip"), QStringLiteral("zip tools. Two")}) {
            for (const char *request : {"at", "before", "after"}) {
                for (const auto &[name, unit] : boundaries)
                    QTest::addRow("%s|%s|%s", qPrintable(text), request, name) << text << request << unit;
            }
        }
    }
    void shouldAnswerEveryTextRequestOfTheSearchBox()
    {
        QFETCH(QString, text);
        QFETCH(QString, request);
        QFETCH(int, unit);
        const Ref box = mainControl(ATSPI_ROLE_TEXT, "Search");
        QVERIFY(box);
        QVERIFY(setSearchText(text));
        GError *error = nullptr;
        AtspiText *asText = atspi_accessible_get_text_iface(box.p);
        QVERIFY(asText);
        const auto release = qScopeGuard([asText] { g_object_unref(asText); });
        for (int offset = 0; offset <= text.size(); ++offset) {
            AtspiTextRange *range = nullptr;
            const qint64 ms = timed([&] {
                const auto boundary = AtspiTextBoundaryType(unit);
                if (request == QLatin1String("at"))
                    range = atspi_text_get_text_at_offset(asText, offset, boundary, &error);
                else if (request == QLatin1String("before"))
                    range = atspi_text_get_text_before_offset(asText, offset, boundary, &error);
                else
                    range = atspi_text_get_text_after_offset(asText, offset, boundary, &error);
            });
            const QString where = QStringLiteral("offset %1").arg(offset);
            QVERIFY2(ms < kAnswerMs, qPrintable(where + QStringLiteral(": answered after %1 ms").arg(ms)));
            QVERIFY2(failure(error).isEmpty() && range, qPrintable(where + ": no answer"));
            const int start = range->start_offset;
            const int end = range->end_offset;
            const QString content = takeString(range->content);
            g_free(range);
            QVERIFY2(0 <= start && start <= end && end <= text.size(),
                     qPrintable(where + QStringLiteral(": range %1-%2").arg(start).arg(end)));
            QCOMPARE(content, text.mid(start, end - start));
            // What the caret stands on is never nothing, but after the last character.
            if (request == QLatin1String("at") && unit != ATSPI_TEXT_BOUNDARY_CHAR)
                QVERIFY2(!content.isEmpty(), qPrintable(where));
        }
    }

    // Each action answers at once and then opens what it opens (the window comes on the bus
    // after the answer), and a closed window leaves the tree.
    void shouldAnswerAnActionBeforeTheWindowItOpens_data()
    {
        QTest::addColumn<QString>("road");
        QTest::addColumn<QString>("opens");
        QTest::newRow("category link") << "link" << "Business";
        QTest::newRow("GO button") << "button" << kAllTitles;
        QTest::newRow("subcategory item") << "subcategory" << "Utilities > Backup";
        QTest::newRow("featured title") << "featured" << kDetail;
        QTest::newRow("grid row") << "grid" << kDetail;
    }
    void shouldAnswerAnActionBeforeTheWindowItOpens()
    {
        QFETCH(QString, road);
        QFETCH(QString, opens);
        Ref results;
        Ref target;
        if (road == QLatin1String("link")) {
            target = mainControl(ATSPI_ROLE_LINK, "Business");
        } else if (road == QLatin1String("button")) {
            QVERIFY(setSearchText(QString()));
            target = mainControl(ATSPI_ROLE_PUSH_BUTTON, "GO");
        } else if (road == QLatin1String("subcategory")) {
            const Ref list = mainControl(ATSPI_ROLE_LIST, "Utilities");
            QVERIFY(list);
            target = find(list, ATSPI_ROLE_LIST_ITEM, "Backup", 0);
        } else if (road == QLatin1String("featured")) {
            const Ref list = mainControl(ATSPI_ROLE_LIST, "Top Software List");
            QVERIFY(list);
            target = childrenOf(list).value(0);
        } else {
            results = openAllTitles();
            target = firstRowCell(results, 0);
        }
        QVERIFY(target);
        const qsizetype before = windows().size();
        qint64 ms = 0;
        QCOMPARE(press(target, &ms), QString());
        QVERIFY2(ms < kAnswerMs, qPrintable(QStringLiteral("answered after %1 ms").arg(ms)));
        const Ref opened = waitForWindow(opens);
        QVERIFY2(opened, qPrintable(opens + " did not open"));
        QCOMPARE(windows().size(), before + 1);
        QVERIFY(close(opened));
        if (results)
            QVERIFY(close(results));
        QCOMPARE(windows().size(), 1);  // only the main window is left in the tree
    }

    // The tree as a screen reader walks it; one row per thing it must find.
    void shouldShowTheTreeAsTheScreenShows_data()
    {
        QTest::addColumn<QString>("check");
        for (const char *check : {"main window is a frame", "hidden controls are out", "order is the Tab order",
                                  "results: order is the Tab order", "detail: order is the Tab order",
                                  "boxes are labelled by their labels", "column box: Find in, its value as text",
                                  "grid cells have text", "dialogs are modal", "detail window read first"})
            QTest::newRow(check) << QString::fromLatin1(check);
    }
    void shouldShowTheTreeAsTheScreenShows()
    {
        QFETCH(QString, check);
        if (check == QLatin1String("main window is a frame")) {
            QCOMPARE(roleOf(m_main), ATSPI_ROLE_FRAME);
        } else if (check == QLatin1String("hidden controls are out")) {
            int lists = 0;
            for (const Ref &child : childrenOf(m_main)) {
                QVERIFY2(hasState(child, ATSPI_STATE_VISIBLE) && hasState(child, ATSPI_STATE_SHOWING),
                         qPrintable(nameOf(child)));
                lists += roleOf(child) == ATSPI_ROLE_LIST;
            }
            QCOMPARE(lists, kBasicCategories.size() + 1);  // a list per category, and the featured titles
        } else if (check == QLatin1String("order is the Tab order")) {
            QStringList expected{"label: Search", "text: Search", "push button: GO", "label: Select a Category or Subcategory"};
            for (const char *role : {"link: ", "list: "})
                for (const QString &category : kBasicCategories)
                    expected << role + category;
            expected << "link: Visit www.quorbix.example for great Window's Software" << "push button: Exit"
                     << "label: Top Software List" << "list: Top Software List";
            QCOMPARE(namesOf(m_main, true), expected);
        } else if (check == QLatin1String("results: order is the Tab order")) {
            const Ref results = openAllTitles();
            QVERIFY(results);
            QCOMPARE(namesOf(results, true),
                     QStringList({"label: Sorted by Name in ascending order", "table: Titles", "combo box: Find in",
                                  "push button: Clear", "text: Find", "radio button: Contains", "radio button: Begins With",
                                  "push button: Select", "push button: Close", "label: 39 records"}));
        } else if (check == QLatin1String("detail: order is the Tab order")) {
            // Tab goes from the description to Close, then up to the title; the lines between
            // come where they are read. ZipMaster shows every link.
            const Ref featured = childrenOf(mainControl(ATSPI_ROLE_LIST, "Top Software List")).value(0);
            QVERIFY(featured && press(featured).isEmpty());
            const Ref detail = waitForWindow(kDetail);
            QVERIFY(detail);
            QCOMPARE(namesOf(detail, true),
                     QStringList({"text: Description", "label: Price: $29.95", "label: Type: Shareware",
                                  "label: Uninstaller: Yes", "label: Rating: 4 out of 5",
                                  "label: Requirements: Windows 95 or later", "label: Limitations: 30-day trial",
                                  "push button: Close", "text: Title", "text: Company description", "link: Screen Shot",
                                  "link: Download Site1", "link: Download Site2", "link: Download Site3",
                                  "link: Buy Now!", "link: Nordwell Labs"}));
        } else if (check == QLatin1String("boxes are labelled by their labels")) {
            QCOMPARE(targetsOf(mainControl(ATSPI_ROLE_TEXT, "Search"), ATSPI_RELATION_LABELLED_BY),
                     QStringList{"Search"});
            QCOMPARE(targetsOf(mainControl(ATSPI_ROLE_LABEL, "Search"), ATSPI_RELATION_LABEL_FOR),
                     QStringList{"Search"});
            QCOMPARE(targetsOf(mainControl(ATSPI_ROLE_LIST, "Top Software List"), ATSPI_RELATION_LABELLED_BY),
                     QStringList{"Top Software List"});
            for (const QString &category : kBasicCategories) {
                QCOMPARE(targetsOf(mainControl(ATSPI_ROLE_LIST, category), ATSPI_RELATION_LABELLED_BY),
                         QStringList{category});
                QCOMPARE(targetsOf(mainControl(ATSPI_ROLE_LINK, category), ATSPI_RELATION_LABEL_FOR),
                         QStringList{category});
            }
        } else if (check == QLatin1String("column box: Find in, its value as text")) {
            const Ref results = openAllTitles();
            QVERIFY(results);
            const Ref box = find(results, ATSPI_ROLE_COMBO_BOX, "Find in", 1);
            QVERIFY(box);
            QCOMPARE(textOf(box), QStringLiteral("Name"));
        } else if (check == QLatin1String("grid cells have text")) {
            const Ref results = openAllTitles();
            QString header;
            const Ref name = firstRowCell(results, 0), price = firstRowCell(results, 2, &header);
            QVERIFY(name && price);
            QCOMPARE(roleOf(name), ATSPI_ROLE_TABLE_CELL);
            QCOMPARE(QStringList({textOf(name), nameOf(name), textOf(price), header}),
                     QStringList({"100% Free Zip", "100% Free Zip", "0", "Price"}));
        } else if (check == QLatin1String("dialogs are modal")) {
            const Ref results = openAllTitles();
            QVERIFY(results);
            QCOMPARE(roleOf(results), ATSPI_ROLE_DIALOG);
            QVERIFY(hasState(results, ATSPI_STATE_MODAL));
            const Ref detail = openDetailOfFirstRow(results);
            QVERIFY(detail);
            QCOMPARE(roleOf(detail), ATSPI_ROLE_DIALOG);
            QVERIFY(hasState(detail, ATSPI_STATE_MODAL));
        } else if (check == QLatin1String("detail window read first")) {
            // A reader says the window's name, then its labels of three words or more.
            const Ref detail = openDetailOfFirstRow(openAllTitles());
            QVERIFY(detail);
            QCOMPARE(nameOf(detail), QStringLiteral("Software Detail Screen: 100% Free Zip, Price: $0.00, "
                                                    "Type: Freeware, Uninstaller: No"));
        } else {
            QFAIL("no such check");
        }
    }

    // A read-only box refuses text: it offers no editing, and its text stays.
    void shouldRefuseTextInReadOnlyBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("title") << "Title";
        QTest::newRow("description") << "Description";
        QTest::newRow("company description") << "Company description";
    }
    void shouldRefuseTextInReadOnlyBoxes()
    {
        QFETCH(QString, box);
        const Ref detail = openDetailOfFirstRow(openAllTitles());
        QVERIFY(detail);
        const Ref control = find(detail, ATSPI_ROLE_TEXT, box, 1);
        QVERIFY(control);
        QVERIFY(hasState(control, ATSPI_STATE_READ_ONLY));
        const QString before = textOf(control);
        AtspiEditableText *editable = atspi_accessible_get_editable_text_iface(control.p);
        gboolean replaced = FALSE;
        if (editable) {
            GError *error = nullptr;
            replaced = atspi_editable_text_set_text_contents(editable, "replaced", &error);
            failure(error);
            g_object_unref(editable);
        }
        QVERIFY(!editable && !replaced);
        QCOMPARE(textOf(control), before);
    }
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString why;
    desktop::Session desk(QStringLiteral("openbox"));
    if (!desk.start(&why)) {
        std::fprintf(stderr, "no desktop: %s\n", qPrintable(why));
        return 1;
    }
    a11y::BusSession buses;
    if (!buses.start(desk.environment(), &why)) {
        std::fprintf(stderr, "no accessibility bus: %s\n", qPrintable(why));
        return 1;
    }
    const QProcessEnvironment env = buses.environment(desk.environment());
    for (const char *name : {"DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS"})
        qputenv(name, env.value(QString::fromLatin1(name)).toLocal8Bit());
    atspi_init();
    atspi_set_timeout(kAnswerMs, kOpenMs);

    Running program;
    running = &program;
    // The program finds the accessibility bus through the session bus, as on a desktop: given
    // the bus's address directly, the toolkit connects but never switches its bridge on.
    QProcessEnvironment programEnv = env;
    programEnv.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    programEnv.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    programEnv.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    program.program.setProcessEnvironment(programEnv);
    program.program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.program.start(QStringLiteral(QUORBIX_PROGRAM), {QStringLiteral(QUORBIX_TEST_DATA "/basic.mdb")});
    int result = 1;
    if (program.program.waitForStarted(10000)) {
        waitUntil([&] {
            for (const Ref &candidate : childrenOf(Ref(atspi_get_desktop(0)))) {
                GError *error = nullptr;
                if (atspi_accessible_get_process_id(candidate.p, &error) == guint(program.program.processId()))
                    program.app = candidate;
                failure(error);
            }
            return bool(program.app);
        }, 20000);
        if (program.app)
            atspi_accessible_set_cache_mask(program.app.p, ATSPI_CACHE_NONE);
        TestAccessibilityBus test;
        result = QTest::qExec(&test, argc, argv);
    } else {
        std::fprintf(stderr, "the program did not start\n");
    }
    program.app = Ref();
    desktop::stopProcess(program.program, 5000);
    running = nullptr;
    const qint64 registry = buses.findRegistry();
    const qint64 bus = buses.busDaemonPid();
    atspi_exit();
    buses.stop();
    desk.stop();
    // Nothing started here may outlive the test, the registry daemon least of all.
    for (const qint64 pid : {registry, bus}) {
        if (desktop::processRuns(pid)) {
            std::fprintf(stderr, "process %lld still runs\n", static_cast<long long>(pid));
            result = 1;
        }
    }
    std::fprintf(stderr, "stopped: registry daemon %lld, accessibility bus %lld\n", static_cast<long long>(registry),
                 static_cast<long long>(bus));
    return result;
}

#include "test_accessibility_bus.moc"
