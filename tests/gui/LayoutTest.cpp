// Every page of the main window in every shipped language, at the window's
// default and minimum size, with the dialog font and a large one, with and
// without a finished job's status, at the scale QT_SCALE_FACTOR sets (CTest
// runs this at 1, 1.5 and 2): each label, button, check box, closed list,
// list column and group title shows its whole text, a label stands beside its
// own field on its text line, and no control overlaps another or leaves its
// page.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "protocols/qv/QvDriver.h"

#include "app/MainDlg.h"
#include "devicelist/DeviceListCtrl.h"
#include "jobs/CameraRun.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/common/JobPanel.h"
#include "pages/network/SearchDlg.h"
#include "pages/oem/OemDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/upgrade/BatchUpgradeDlg.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTabWidget>

namespace {

bool isControl(const QWidget* w) {
    return qobject_cast<const QLabel*>(w) || qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractItemView*>(w) || qobject_cast<const QProgressBar*>(w);
}

// The controls a person sees on `window`, without the parts of other
// controls (a combo box's edit, a list's scroll bars).
std::vector<QWidget*> visibleControls(QWidget& window) {
    std::vector<QWidget*> out;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        bool part = false;
        for (QWidget* p = w->parentWidget(); p != &window; p = p->parentWidget()) {
            part = part || isControl(p);
        }
        if (isControl(w) && !part && w->isVisible()) {
            out.push_back(w);
        }
    }
    return out;
}

// Columns too narrow for a value a row shows or for their header's text.
QStringList columnProblems(orv::CDeviceListCtrl& list, const QString& name) {
    QStringList out;
    const QAbstractItemModel* model = list.model();
    const QFontMetrics fm = list.fontMetrics();
    for (int column = 0; column < model->columnCount(); ++column) {
        const int width = list.horizontalHeader()->sectionSize(column);
        QString widest = model->headerData(column, Qt::Horizontal).toString();
        int need = fm.horizontalAdvance(widest) + 22; // and the sort mark
        for (int row = 0; row < model->rowCount(); ++row) {
            const QString text = model->index(row, column).data().toString();
            // The cell's margins and the grid line.
            if (fm.horizontalAdvance(text) + 9 > need) {
                need = fm.horizontalAdvance(text) + 9;
                widest = text;
            }
        }
        if (need > width) {
            out << QStringLiteral("%1 column %2 needs %3 for \"%4\", has %5")
                       .arg(name)
                       .arg(column)
                       .arg(need)
                       .arg(widest)
                       .arg(width);
        }
    }
    return out;
}

// What is wrong with `w` as shown, or nothing.
QStringList problemsOf(QWidget* w, const std::vector<QWidget*>& controls) {
    QStringList out;
    const QString name = w->objectName() + " \"" + w->property("text").toString() + '"';
    const QFontMetrics fm = w->fontMetrics();
    QSize need;
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->wordWrap()) {
        need = label->sizeHint();
    } else if (qobject_cast<QCheckBox*>(w) || qobject_cast<QRadioButton*>(w)) {
        need = QSize(w->sizeHint().width(), fm.height());
    } else if (auto* wrapped = qobject_cast<QLabel*>(w)) {
        need = QSize(0, wrapped->heightForWidth(w->width())); // a wrapped label: every line
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        // The style draws the text inside the button's contents.
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents =
            w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w);
        need = QSize(fm.horizontalAdvance(button->text()) + w->width() - contents.width(),
                     fm.height() + w->height() - contents.height());
    } else if (auto* combo = qobject_cast<QComboBox*>(w); combo && !combo->isEditable()) {
        need = QSize(fm.horizontalAdvance(combo->currentText()) + 24, fm.height());
    } else if (auto* edit = qobject_cast<QLineEdit*>(w); edit && edit->maxLength() <= 5) {
        // A port or interval field shows its longest number.
        need = QSize(fm.horizontalAdvance(QString(edit->maxLength(), '8')) + 8, fm.height());
    }
    if (need.width() > w->width() || need.height() > w->height()) {
        out << QStringLiteral("%1 needs %2x%3, has %4x%5")
                   .arg(name)
                   .arg(need.width())
                   .arg(need.height())
                   .arg(w->width())
                   .arg(w->height());
    }
    if (auto* list = qobject_cast<orv::CDeviceListCtrl*>(w)) {
        out << columnProblems(*list, name);
    }
    if (!w->parentWidget()->rect().contains(w->geometry())) {
        out << name + " leaves its page";
    }
    if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy() != nullptr) {
        const QRect field = label->buddy()->geometry();
        const int gap = field.left() - w->geometry().right();
        if (gap < 0 || gap > 16 || std::abs(field.center().y() - w->geometry().center().y()) > 1) {
            out << name + " is not beside its field";
        }
    }
    for (QWidget* other : controls) {
        if (other < w && other->parentWidget() == w->parentWidget() &&
            other->geometry().intersects(w->geometry())) {
            out << name + " overlaps " + other->objectName();
        }
    }
    return out;
}

class LayoutTest : public GuiTestBase, public ::testing::WithParamInterface<int> {
protected:
    void TearDown() override {
        QApplication::setFont(m_font);
        GuiTestBase::TearDown();
    }
    void showJobStatus(CMainDlg& dlg);
    QStringList walk(CMainDlg& dlg, const QString& view);
    QFont m_font = QApplication::font();
};

} // namespace

// Lets each layout pass that the last one asked for run, from the
// controls up to the window, as the event loop does between two frames.
void settle() {
    for (int pass = 0; pass < 8; ++pass) {
        QCoreApplication::processEvents();
    }
}

// A finished job's status on every page: the summary and Results...
// beside the list, as after a checked Save of 96 cameras of which 4 failed.
void LayoutTest::showJobStatus(CMainDlg& dlg) {
    orv::jobs::JobSpec order;
    order.name = "Layout";
    order.probe = false;
    order.operations = {"Save"};
    for (int i = 0; i < 96; ++i) {
        order.targets.push_back(Found(Camera(static_cast<unsigned char>(i), "192.0.2.30")));
    }
    order.work = [](orv::jobs::CameraRun& run) {
        if (run.Device().mac && (*run.Device().mac)[5] % 24 == 0) {
            run.ReportFailure("Save", orv::jobs::Reason::Refused);
        } else {
            run.Report("Save", orv::device::Status(orv::device::Done{}));
        }
    };
    const std::vector<orv::device::DeviceInfo> targets = order.targets;
    const orv::jobs::JobId job = dlg.Jobs().Start(std::move(order));
    for (CDeviceListPage* page : std::initializer_list<CDeviceListPage*>{
             dlg.SearchPage(), dlg.BatchSetPage(), dlg.BatchUpgradePage(), dlg.VideoViewPage(),
             dlg.OemPage()}) {
        page->JobPanel()->Track(job, targets);
    }
    WaitForJobs(dlg.Jobs());
    QCoreApplication::processEvents();
}

// The problems of every view of the window in every language at both
// sizes; `view` names each view's screenshot.
QStringList LayoutTest::walk(CMainDlg& dlg, const QString& view) {
    auto* pages = dlg.findChild<QTabWidget*>(QStringLiteral("pageContainer"));
    auto* subPages = dlg.BatchSetPage()->findChild<QTabWidget*>(QStringLiteral("batchSubPages"));
    auto* selectAll = dlg.SearchPage()->findChild<QCheckBox*>(QStringLiteral("selectAll"));
    QStringList problems;
    const auto look = [&](const QString& at) {
        settle();
        SaveScreenshot(dlg, "layout-" + view + '-' + at);
        const std::vector<QWidget*> controls = visibleControls(dlg);
        for (QWidget* w : controls) {
            for (const QString& p : problemsOf(w, controls)) {
                problems << view + '-' + at + ": " + p;
            }
        }
        for (QGroupBox* box : dlg.findChildren<QGroupBox*>()) {
            if (!box->isVisible()) {
                continue;
            }
            const QFontMetrics fm = box->fontMetrics();
            if (fm.horizontalAdvance(box->title()) + 20 > box->width()) {
                problems << view + '-' + at + ": " + box->objectName() + " title \"" +
                                box->title() + '"';
            }
            if (!box->parentWidget()->rect().contains(box->geometry())) {
                problems << view + '-' + at + ": " + box->objectName() + " leaves its page";
            }
        }
    };
    // The language changes while the window shows its first page: the
    // others are laid out again while hidden.
    for (const wchar_t* language : {L"English", L"Deutsch", L"简体中文"}) {
        pages->setCurrentIndex(0);
        TheLanguage().SelectLanguage(language);
        dlg.SetLanguageText();
        for (const QSize& size : {QSize(1024, 720), QSize(0, 0)}) {
            settle(); // the window takes its new texts' sizes
            dlg.resize(size.expandedTo(dlg.minimumSize()));
            const QString at = QString::fromWCharArray(language).left(2) + '-' +
                               QString::number(dlg.width()) + 'x' + QString::number(dlg.height());
            for (int page = 0; page < pages->count(); ++page) {
                pages->setCurrentIndex(page);
                const int views = pages->widget(page) == dlg.BatchSetPage() ? subPages->count() : 1;
                for (int sub = 0; sub < views; ++sub) {
                    subPages->setCurrentIndex(sub);
                    look(at + "-page" + QString::number(page) + '.' + QString::number(sub));
                }
            }
            pages->setCurrentIndex(0);
            selectAll->click(); // the checked mode's row of fields
            look(at + "-checked");
            selectAll->click();
        }
    }
    return problems;
}

TEST_P(LayoutTest, EveryPageInEveryLanguageShowsItsTextsWhole) {
    const int points = GetParam();
    if (points != 0) {
        QFont font = QApplication::font();
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    const QString scale = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1"));
    const QString view =
        QStringLiteral("x%1-%2pt").arg(scale).arg(QApplication::font().pointSize());
    CMainDlg dlg(true, CMainDlg::Discovery::Off);
    dlg.show();
    tagMsgInfo answer{};
    answer.Info = Camera(1, "192.0.2.20", "Kamera am Südtor");
    answer.Info.HttpPort = 65535;
    orv::qv::Deliver(dlg.DiscoveryHub(), CAP_SEARCH_RESP, answer);
    answer.Info = Camera(2, "192.0.2.255", "Lager Nord", "QV-N2610-WDR");
    orv::qv::Deliver(dlg.DiscoveryHub(), CAP_SEARCH_RESP, answer);
    QCoreApplication::sendPostedEvents();

    QStringList problems = walk(dlg, view);
    showJobStatus(dlg);
    problems << walk(dlg, view + "-job");
    EXPECT_TRUE(problems.isEmpty()) << problems.size() << " problems:\n"
                                    << problems.join('\n').toStdString();
}

// The dialog font, and a large font as a person with poor sight sets it.
INSTANTIATE_TEST_SUITE_P(Fonts, LayoutTest, ::testing::Values(0, 14),
                         [](const ::testing::TestParamInfo<int>& font) {
                             return font.param == 0 ? std::string("DialogFont")
                                                    : std::to_string(font.param) + "pt";
                         });
