// Controls placed in twips keep their whole frame at every scale: each list box is painted
// with its four frame lines at 1, 1.25, 1.5 and 2 device pixels to a pixel. Each scale runs
// in a child process of this test, since Qt takes the scale when the application starts.

#include "window_services/twips.h"

#include <QtTest>
#include <QtWidgets>

namespace {

const char kScaleArgument[] = "--scale";

// List boxes of the main window's layout: the category lists of the first and second column
// and the featured list, which start between pixels at 15 twips a pixel and a fractional scale.
const QList<QRectF> kLists{{240, 1560, 2415, 1215},  {2740, 1560, 2415, 1215},
                           {5240, 3560, 2415, 1215}, {10240, 3560, 2415, 1215},
                           {5280, 5520, 7455, 1620}, {7740, 1560, 2415, 1215}};

bool isFrameLine(QRgb pixel, QRgb background)
{
    return qGray(pixel) < qGray(background) - 24;
}

// From the middle of `inside` outwards towards one side, past the list's own white: a frame
// line must come within the next few device pixels (the frame is two logical pixels deep).
bool hasFrameTowards(const QImage &image, const QRect &inside, int dx, int dy, QRgb background,
                     qreal ratio)
{
    QPoint at = inside.center();
    const QRgb white = image.pixel(at);
    while (image.rect().contains(at) && image.pixel(at) == white)
        at += QPoint(dx, dy);
    for (int step = 0; step <= 2 * ratio + 1 && image.rect().contains(at); ++step, at += QPoint(dx, dy)) {
        if (isFrameLine(image.pixel(at), background))
            return true;
    }
    return false;
}

// The child's half: lays the lists out at the scale Qt started with and reports any side
// whose frame line is missing, one line each.
int checkFrames()
{
    twips::setPerPixelOverride(15);
    QWidget window;
    window.resize(880, 520);
    QList<QListWidget *> lists;
    for (const QRectF &r : kLists) {
        auto *list = new QListWidget(&window);
        twips::setGeometry(list, r.left(), r.top(), r.width(), r.height());
        lists << list;
    }
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 2;
    const QImage image = window.grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRgb background = image.pixel(2, 2);
    int missing = 0;
    for (const QListWidget *list : std::as_const(lists)) {
        const QRect inside = QRectF(QPointF(list->geometry().topLeft()) * ratio,
                                    QSizeF(list->size()) * ratio).toAlignedRect().adjusted(4, 4, -4, -4);
        const struct { const char *side; int dx, dy; } sides[] = {
            {"left", -1, 0}, {"right", 1, 0}, {"top", 0, -1}, {"bottom", 0, 1}};
        for (const auto &s : sides) {
            if (!hasFrameTowards(image, inside, s.dx, s.dy, background, ratio)) {
                std::printf("%s side of the list at %d,%d\n", s.side, list->x(), list->y());
                ++missing;
            }
        }
    }
    return missing == 0 ? 0 : 1;
}

}  // namespace

class TestTwipsFrames : public QObject {
    Q_OBJECT

private slots:
    void shouldPaintEveryListsWholeFrame_data()
    {
        QTest::addColumn<QString>("scale");
        for (const char *scale : {"1", "1.25", "1.5", "2"})
            QTest::newRow(scale) << scale;
    }
    void shouldPaintEveryListsWholeFrame()
    {
        QFETCH(QString, scale);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", scale);
        env.insert("QT_QPA_PLATFORM", "offscreen");
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationFilePath(), {kScaleArgument});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray missing = child.readAllStandardOutput();
        QVERIFY2(child.exitCode() == 0, missing.constData());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc == 2 && qstrcmp(argv[1], kScaleArgument) == 0)
        return checkFrames();
    TestTwipsFrames test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_twips_frames.moc"
