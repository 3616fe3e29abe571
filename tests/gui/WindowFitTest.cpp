// The first window as a new user sees it: the Geometry page whole, without
// scroll bars, beside a narrow profile list, and tool tips that wrap.
#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include "GuiTestSupport.h"
#include "app/StandaloneWindow.h"
#include "gui/CompactFont.h"
#include "gui/OptionsWidget.h"
#include "gui/ProfilesWidget.h"
#include "gui/VectorFormatWidget.h"

namespace {

// The program's first window on a 1280 x 800 screen, less a title bar and a
// panel, must fit; and a user may make it as large as the screen.
const QSize kScreen(1280, 800);
const QSize kFirstWindowLimit(1280, 740);
// The profile list takes at most this share of the window's width.
constexpr double kProfileShare = 0.25;
// No tool tip is wider than this (about 70 characters of the tip font).
constexpr int kToolTipWidthLimit = 520;

// True when widget lies wholly inside the visible part of area.
bool ShownWhole(const QAbstractScrollArea* area, const QWidget* widget)
{
    const QRect inViewport(widget->mapTo(area->viewport(), QPoint(0, 0)), widget->size());
    return area->viewport()->rect().contains(inViewport);
}

// The label of the tool tip on show, or null.
QWidget* ShownTip()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->inherits("QTipLabel") && w->isVisible())
            return w;
    }
    return nullptr;
}

} // namespace

class TestWindowFit : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A store of its own: no remembered window size from another run.
        guitest::UseOwnPreferences(m_dir.path());
    }

    void geometryPageFitsWithoutScrolling_data()
    {
        QTest::addColumn<bool>("firstSize");
        QTest::newRow("first window") << true;
        QTest::newRow("1280 x 800") << false;
    }

    void geometryPageFitsWithoutScrolling()
    {
        QFETCH(bool, firstSize);
        CStandaloneWindow w;
        UseCompactFont(&w);
        if (firstSize) {
            QVERIFY(w.width() <= kFirstWindowLimit.width());
            QVERIFY(w.height() <= kFirstWindowLimit.height());
        } else {
            w.resize(kScreen);
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QTabWidget* tabs = w.findChild<QTabWidget*>(QStringLiteral("OptionsTabs"));
        QCOMPARE(tabs->currentIndex(), 0);
        QScrollArea* page = w.findChild<QScrollArea*>(QStringLiteral("GeometryScroll"));
        QVERIFY(page->isVisible());
        QVERIFY2(!page->horizontalScrollBar()->isVisible() && !page->verticalScrollBar()->isVisible(),
                 qPrintable(QStringLiteral("page %1 x %2 needs %3 x %4")
                                .arg(page->width())
                                .arg(page->height())
                                .arg(page->widget()->minimumSizeHint().width())
                                .arg(page->widget()->minimumSizeHint().height())));
        // Every column heading and every control of the vertex table is in
        // view, A3 included, and so is the last group of the page.
        for (const char* name : {"DataTypeHeader", "VectorHeader", "A0Header", "A1Header", "A2Header", "A3Header",
                                 "TangentSpaceGB", "MappingChannelsGB"}) {
            QWidget* part = w.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY2(part && ShownWhole(page, part), name);
        }
        for (CVectorFormatWidget* row : w.findChildren<CVectorFormatWidget*>()) {
            for (int i = 0; i < 4; ++i)
                QVERIFY2(ShownWhole(page, row->ComponentBox(i)), qPrintable(row->objectName()));
        }

        const int profiles = w.ProfilesWidget()->width();
        QVERIFY2(profiles < kProfileShare * w.width(),
                 qPrintable(QStringLiteral("profiles %1 of %2").arg(profiles).arg(w.width())));
    }

    void toolTipsWrap()
    {
        CStandaloneWindow w;
        UseCompactFont(&w);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QStringList tips;
        for (QWidget* widget : w.findChildren<QWidget*>()) {
            if (!widget->toolTip().isEmpty())
                tips << widget->toolTip();
            if (QTabWidget* tabs = qobject_cast<QTabWidget*>(widget)) {
                for (int i = 0; i < tabs->count(); ++i)
                    tips << tabs->tabToolTip(i);
            }
        }
        // The palette size has the longest text of all.
        const QString palette = w.findChild<QWidget*>(QStringLiteral("PaletteSizeSB"))->toolTip();
        QVERIFY(palette.startsWith(QStringLiteral("Enter how large a palette")));
        QVERIFY(tips.size() > 20);

        int widest = 0;
        for (const QString& tip : tips) {
            QToolTip::showText(w.mapToGlobal(QPoint(20, 20)), tip, &w);
            QWidget* label = ShownTip();
            QVERIFY2(label, qPrintable(tip));
            QVERIFY2(label->width() <= kToolTipWidthLimit,
                     qPrintable(QStringLiteral("%1 px: %2").arg(label->width()).arg(tip)));
            widest = qMax(widest, label->width());
            if (tip == palette) // wrapped, not cut
                QVERIFY(label->height() > 3 * label->fontMetrics().height());
            QToolTip::hideText();
        }
        QVERIFY(widest > 0);
    }
};

QTEST_MAIN(TestWindowFit)
#include "WindowFitTest.moc"
