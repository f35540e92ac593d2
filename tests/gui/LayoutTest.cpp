// Every page of the main window in every shipped language, at the window's
// default and minimum size: each label, button, check box, closed list and
// group title shows its whole text, a label stands beside its own field on its text
// line, and no control overlaps another or leaves its page.

#include "DeviceRecords.h"
#include "GuiTestBase.h"
#include "protocols/qv/QvDriver.h"

#include "app/MainDlg.h"
#include "pages/batchset/BatchSetDlg.h"
#include "pages/network/SearchDlg.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
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
    } else if (auto* button = qobject_cast<QPushButton*>(w)) {
        const int margin = w->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
        need = QSize(fm.horizontalAdvance(button->text()) + 2 * margin, fm.height() + 2);
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

class LayoutTest : public GuiTestBase {};

} // namespace

TEST_F(LayoutTest, EveryPageInEveryLanguageShowsItsTextsWholeAtBothSizes) {
    CMainDlg dlg(true, CMainDlg::Discovery::Off);
    dlg.show();
    tagMsgInfo answer{};
    answer.Info = Camera(1, "192.0.2.20", "Kamera am Tor");
    orv::qv::Deliver(dlg.DiscoveryHub(), CAP_SEARCH_RESP, answer);
    QCoreApplication::sendPostedEvents();
    auto* pages = dlg.findChild<QTabWidget*>(QStringLiteral("pageContainer"));
    auto* subPages = dlg.BatchSetPage()->findChild<QTabWidget*>(QStringLiteral("batchSubPages"));
    auto* selectAll = dlg.SearchPage()->findChild<QCheckBox*>(QStringLiteral("selectAll"));

    QStringList problems;
    const QFontMetrics fm = dlg.fontMetrics();
    const auto look = [&](const QString& view) {
        QCoreApplication::processEvents();
        SaveScreenshot(dlg, "layout-" + view);
        const std::vector<QWidget*> controls = visibleControls(dlg);
        for (QWidget* w : controls) {
            for (const QString& p : problemsOf(w, controls)) {
                problems << view + ": " + p;
            }
        }
        for (QGroupBox* box : dlg.findChildren<QGroupBox*>()) {
            if (box->isVisible() && fm.horizontalAdvance(box->title()) + 20 > box->width()) {
                problems << view + ": " + box->objectName() + " title \"" + box->title() + '"';
            }
        }
    };
    const QSize sizes[] = {dlg.size(), dlg.minimumSize()};
    for (const wchar_t* language : {L"English", L"Deutsch", L"简体中文"}) {
        TheLanguage().SelectLanguage(language);
        dlg.SetLanguageText();
        for (const QSize& size : sizes) {
            dlg.resize(size);
            const QString at =
                QString::fromWCharArray(language).left(2) + '-' + QString::number(size.width());
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
    EXPECT_TRUE(problems.isEmpty()) << problems.size() << " problems:\n"
                                    << problems.join('\n').toStdString();
}
