#include "BatchUpgradeDlg.h"

#include "pages/common/CapabilityGate.h"

#include "operations/common/AppServices.h"
#include "text/TextConv.h"
#include "ui/DialogFont.h"
#include "ui/FileDialog.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

using orv::ui::LangText;
namespace up = orv::upgrade;

namespace {

// Every file: the cameras' images carry no fixed extension.
const QString kFileFilter = QStringLiteral("All Files (*)");

QString cannotOpen(const QString& path) {
    return QStringLiteral("Cannot open the file %1.").arg(path);
}

} // namespace

CBatchUpgradeDlg::CBatchUpgradeDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs,
                                   QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::BatchUpgrade, app, jobs, parent, std::move(clock)) {
    setObjectName(QStringLiteral("batchUpgradePage"));
    createControls();
    SetLanguageText();
    layoutControls();
}

void CBatchUpgradeDlg::createControls() {
    using orv::ui::Named;
    m_group = Named(new QGroupBox(this), "firmwareGroup");
    m_familyFilter = Named(new QComboBox(this), "familyFilter");
    m_messageLabel = Named(new QLabel(this), "messageLabel");
    m_fileLabel = Named(new QLabel(this), "firmwareFileLabel");
    m_pathEdit = Named(new QLineEdit(this), "firmwarePathEdit");
    m_browse = Named(new QPushButton(this), "browseButton");
    m_upgrade = Named(new QPushButton(this), "upgradeButton");
    NeedsCapability(m_upgrade, orv::device::Capability::Firmware);
    m_progress = Named(new QProgressBar(this), "progressBar");
    m_waves = Named(new QCheckBox(this), "wavesCheck");
    m_shareLabel = Named(new QLabel(this), "secondWaveLabel");
    m_share = Named(new QSpinBox(this), "secondWaveShare");
    m_stopLabel = Named(new QLabel(this), "stopAfterLabel");
    m_stopAfter = Named(new QSpinBox(this), "stopAfterFailures");
    m_share->setRange(1, 100);
    m_share->setValue(25);
    m_share->setSuffix(QStringLiteral(" %"));
    m_stopAfter->setRange(1, 1000);
    m_stopAfter->setValue(3);
    m_shareLabel->setBuddy(m_share);
    m_stopLabel->setBuddy(m_stopAfter);
    const auto wavesChosen = [this] {
        for (QWidget* part :
             std::initializer_list<QWidget*>{m_shareLabel, m_share, m_stopLabel, m_stopAfter}) {
            part->setEnabled(m_waves->isChecked());
        }
    };
    connect(m_waves, &QCheckBox::toggled, this, wavesChosen);
    wavesChosen();

    for (const char* entry : up::kFamilyEntries) {
        m_familyFilter->addItem(QString::fromLatin1(entry));
    }
    m_familyFilter->setCurrentIndex(0);
    m_messageLabel->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_messageLabel->hide();
    m_pathEdit->setMaxLength(259);
    m_upgrade->setEnabled(false);
    m_upgrade->setAutoDefault(false);
    m_browse->setAutoDefault(false);
    // Shown, unlike a bar that only ever says 0: an upload of a hundred
    // megabytes to many cameras takes a while, and the bar tells how far a
    // batch has come.
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(true);

    connect(m_familyFilter, &QComboBox::currentIndexChanged, this,
            [this](int) { applyFamilyFilter(); });
    connect(m_browse, &QPushButton::clicked, this, &CBatchUpgradeDlg::Browse);
    connect(m_upgrade, &QPushButton::clicked, this, &CBatchUpgradeDlg::Upgrade);
    connect(&m_jobs, &orv::jobs::CJobEngine::progress, this,
            [this](orv::jobs::JobId job, int done, int total) {
                if (job == CurrentJob()) {
                    setProgress(done * 100 / std::max(total, 1));
                }
            });
}

orv::upgrade::Rollout CBatchUpgradeDlg::rollout() const {
    if (!m_waves->isChecked()) {
        return {};
    }
    return {m_share->value(), m_stopAfter->value()};
}

void CBatchUpgradeDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_selectAll->setText(LangText(L"20010", L"Select All"));
    m_fileLabel->setText(LangText(L"30000", L"Fireware File:"));
    m_browse->setText(LangText(L"30001", L"Browse Files"));
    m_upgrade->setText(LangText(L"30002", L"Upgrade"));
    m_waves->setText(LangText(L"96050", L"Upgrade in waves"));
    m_waves->setToolTip(LangText(L"96053", L"One camera takes the image first, then this share of "
                                           L"the others, then the rest; each wave starts once the "
                                           L"one before is done. Cameras not started when the job "
                                           L"stops are left alone."));
    m_shareLabel->setText(LangText(L"96051", L"Second wave:"));
    m_stopLabel->setText(LangText(L"96052", L"Stop after failed cameras:"));
    m_messageLabel->setText(LangText(m_labelText.id, m_labelText.defaultText));
}

void CBatchUpgradeDlg::layoutControls() {
    // Under the list: Select All, the model family filter and the page's
    // message; then the firmware frame (the file with Browse beside it,
    // Upgrade under Browse) and the progress bar across the page.
    orv::ui::FixWidth(m_familyFilter, 120);
    auto* file = new QGridLayout(m_group);
    file->addWidget(m_fileLabel, 0, 0);
    file->addWidget(m_pathEdit, 0, 1);
    file->addWidget(m_browse, 0, 2);
    auto* rollout = new QHBoxLayout;
    rollout->addWidget(m_waves);
    rollout->addSpacing(12);
    for (QWidget* part :
         std::initializer_list<QWidget*>{m_shareLabel, m_share, m_stopLabel, m_stopAfter}) {
        rollout->addWidget(part);
    }
    rollout->addStretch();
    file->addLayout(rollout, 1, 0, 1, 2);
    file->addWidget(m_upgrade, 1, 2);
    file->setColumnStretch(1, 1);
    m_fileLabel->setBuddy(m_pathEdit);
    QVBoxLayout* below = LayOutUnderList(SelectAllRow({m_familyFilter}, m_messageLabel));
    below->addWidget(m_group);
    below->addWidget(m_progress);
}

std::vector<up::ListRow> CBatchUpgradeDlg::listRows() const {
    std::vector<up::ListRow> rows;
    rows.reserve(static_cast<size_t>(Devices().Count()));
    for (const orv::device::DeviceId& key : Devices().Keys()) {
        rows.push_back(up::ListRowOf(Devices().Find(key)->info, Devices().IsChecked(key)));
    }
    return rows;
}

void CBatchUpgradeDlg::showMessage(const std::optional<orv::Message>& message) {
    if (message) {
        m_labelText = *message;
        m_messageLabel->setText(LangText(message->id, message->defaultText));
    }
    m_messageLabel->setVisible(message.has_value());
    m_upgrade->setEnabled(!message.has_value() && !JobRunning());
}

void CBatchUpgradeDlg::PickDevice(const orv::device::DeviceId& key) {
    showMessage(Selection().Conflicts(key) ? std::optional<orv::Message>(orv::kAddressConflict)
                                           : std::nullopt);
}

void CBatchUpgradeDlg::ChecksChanged() {
    if (!IsCheckedMode()) {
        return;
    }
    switch (up::ValidateCheckedSet(listRows(), true)) {
    case up::SetVerdict::AddressConflict:
        showMessage(orv::kAddressConflict);
        break;
    case up::SetVerdict::ModelMismatch:
        showMessage(up::kModelUnmatched);
        break;
    case up::SetVerdict::Valid:
        showMessage(std::nullopt);
        break;
    }
}

void CBatchUpgradeDlg::applyFamilyFilter() {
    const std::vector<up::ListRow> rows = listRows();
    const std::vector<orv::device::DeviceId> keys = Devices().Keys();
    std::vector<bool> checks =
        up::ApplyFamilyFilter(m_familyFilter->currentIndex(), m_selectAll->isChecked(), rows);
    // Select All ticks only the cameras the list's filter shows.
    for (size_t row = 0; row < rows.size(); ++row) {
        if (!rows[row].checked && Devices().RowOf(keys[row]) < 0) {
            checks[row] = false;
        }
    }
    // The changed marks go through the check rule as a person's would; one
    // pass over the final set gives what one pass per mark would.
    bool changed = false;
    bool lastChecked = false;
    for (size_t row = 0; row < rows.size(); ++row) {
        if (checks[row] != rows[row].checked) {
            Devices().SetChecked(keys[row], checks[row]);
            changed = true;
            lastChecked = checks[row];
        }
    }
    if (changed) {
        Selection().CheckChanged(lastChecked || Devices().AnyChecked());
        ChecksChanged();
    }
}

void CBatchUpgradeDlg::OnSelectAll(bool checked) {
    if (!checked) {
        Devices().SetAllChecks(false);
        Selection().CheckChanged(false);
        ChecksChanged();
        return;
    }
    const bool anyUnchecked =
        Devices().CheckedDevices().size() < static_cast<size_t>(Devices().Count());
    Devices().SetAllChecks(true);
    if (anyUnchecked) {
        Selection().CheckChanged(true);
        ChecksChanged();
    }
    applyFamilyFilter();
}

void CBatchUpgradeDlg::Browse() {
    const QString path = orv::ui::GetOpenFileName(this, kFileFilter);
    if (path.isEmpty()) {
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        orv::ui::ShowMessage(this, cannotOpen(path));
        return;
    }
    if (up::FirmwareSizeAccepted(static_cast<std::uint64_t>(file.size()))) {
        m_pathEdit->setText(path);
        return;
    }
    m_pathEdit->clear();
    orv::ui::ShowMessage(this, LangText(up::kFileTooBig.id, up::kFileTooBig.defaultText));
}

std::optional<up::ImageTarget> CBatchUpgradeDlg::referenceCamera() const {
    const auto targetOf = [this](const std::optional<orv::device::DeviceId>& key) {
        const orv::DeviceRow* device = key ? Devices().Find(*key) : nullptr;
        return device != nullptr ? std::optional(up::ImageTargetOf(device->info)) : std::nullopt;
    };
    if (!IsCheckedMode()) {
        return targetOf(Selection().Current());
    }
    if (const std::optional<orv::device::DeviceId> highlighted = m_listCtrl->SelectedDevice()) {
        return targetOf(highlighted);
    }
    // Nothing highlighted: the checked cameras are the ones the person
    // means, and the check rule has kept them to one family or model, so the
    // first of them stands for all.
    const std::vector<orv::device::DeviceInfo> checked = Devices().CheckedDevices();
    if (checked.empty()) {
        return std::nullopt;
    }
    return up::ImageTargetOf(checked.front());
}

void CBatchUpgradeDlg::setProgress(int percent) {
    m_progress->setValue(percent);
}

void CBatchUpgradeDlg::JobRunningChanged(bool running) {
    m_upgrade->setEnabled(!running && m_messageLabel->isHidden());
    m_browse->setEnabled(!running);
    m_waves->setEnabled(!running);
    if (!running) {
        setProgress(100);
    }
}

void CBatchUpgradeDlg::Upgrade() {
    const up::UpgradeCheck check =
        up::CheckUpgrade(m_pathEdit->text().toStdWString(), referenceCamera());
    if (check.stop == up::UpgradeStop::Unreadable) {
        orv::ui::ShowMessage(this, cannotOpen(m_pathEdit->text().trimmed()));
        return;
    }
    if (check.stop != up::UpgradeStop::None) {
        if (check.message) {
            orv::ui::ShowMessage(this, LangText(check.message->id, check.message->defaultText));
        }
        return;
    }

    const std::vector<orv::device::DeviceInfo> targets = Targets();
    if (targets.empty() && !IsCheckedMode()) {
        return;
    }
    setProgress(0);
    RunJob(up::UpgradeJob(targets, {m_app.DefaultUserText(), m_app.DefaultPasswordText()},
                          check.path, rollout()),
           IsCheckedMode() ? Report::Summary : Report::Lines);
}
