#include "OemDlg.h"

#include "pages/common/CapabilityGate.h"

#include "log/LogFile.h"
#include "operations/common/AppServices.h"
#include "pages/common/FieldLimit.h"
#include "paths/AppPaths.h"
#include "ui/DialogFont.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <utility>

using orv::ui::LangText;
namespace oem = orv::oem;

namespace {

const QString kFileFilter = QStringLiteral("All Files (*)");

} // namespace

COemDlg::COemDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent,
                 orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::Oem, app, jobs, parent, std::move(clock)) {
    setObjectName(QStringLiteral("oemPage"));
    createControls();
    // The list headers are set once, in the language of the start.
    CDeviceListPage::SetLanguageText();
    layoutControls();
}

void COemDlg::createControls() {
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    // The labels are wider than their texts; right-aligned, each stands
    // beside its own field rather than after the previous one.
    auto label = [this, &named](const char* text, const char* name) {
        auto* l = named(new QLabel(QString::fromLatin1(text), this), name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    m_group = named(new QGroupBox(QStringLiteral("OEM Information"), this), "oemGroup");
    m_selectAll->setText(QStringLiteral("Select All"));
    m_conflictLabel = named(new QLabel(this), "conflictLabel");
    m_companyLabel = label("Company:", "companyLabel");
    m_companyEdit = named(new orv::ui::CNameEdit(this), "companyEdit");
    m_websiteLabel = label("Website:", "websiteLabel");
    m_websiteEdit = named(new orv::ui::CNameEdit(this), "websiteEdit");
    m_modelLabel = label("Model:", "modelLabel");
    m_modelEdit = named(new orv::ui::CNameEdit(this), "modelEdit");
    m_versionLabel = label("Version:", "versionLabel");
    m_versionList = named(new QComboBox(this), "versionList");
    m_imageLabel = label("Image File:", "imageFileLabel");
    m_imageEdit = named(new orv::ui::CNameEdit(this), "imageFileEdit");
    m_browse = named(new QPushButton(QStringLiteral("Browse Files"), this), "browseButton");
    m_upload = named(new QPushButton(QStringLiteral("Upload"), this), "uploadButton");
    NeedsCapability(m_upload, orv::device::Capability::Oem);

    m_companyEdit->setMaxLength(oem::kCompanyChars);
    m_websiteEdit->setMaxLength(oem::kWebsiteChars);
    m_modelEdit->setMaxLength(oem::kModelChars);
    m_imageEdit->setMaxLength(oem::kImageFieldChars);
    const oem::OemUpload buffers;
    orv::LimitToRecordField(m_companyEdit, orv::kCpAnsi, sizeof buffers.company);
    orv::LimitToRecordField(m_websiteEdit, orv::kCpAnsi, sizeof buffers.website);
    orv::LimitToRecordField(m_modelEdit, orv::kCpAnsi, sizeof buffers.model);
    m_versionList->setEditable(true);
    for (const char* entry : {"1", "2", "3", "4", "5"}) {
        m_versionList->addItem(QString::fromLatin1(entry));
    }
    m_versionList->setCurrentIndex(0);
    m_versionList->lineEdit()->setMaxLength(oem::kVersionChars);
    orv::LimitToRecordField(m_versionList->lineEdit(), orv::kCpAnsi, oem::kVersionChars);
    m_versionList->setInsertPolicy(QComboBox::NoInsert);

    m_conflictLabel->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_conflictLabel->setText(LangText(orv::kAddressConflict.id, orv::kAddressConflict.defaultText));
    m_conflictLabel->hide();
    m_upload->setEnabled(false);
    m_upload->setAutoDefault(false);
    m_browse->setAutoDefault(false);

    connect(m_browse, &QPushButton::clicked, this, &COemDlg::Browse);
    connect(m_upload, &QPushButton::clicked, this, &COemDlg::Upload);
}

void COemDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    layoutControls();
}

void COemDlg::layoutControls() {
    const int w = width();
    const int h = height();
    m_listCtrl->setGeometry(ListArea(QRect(0, 0, w, h - 120)));
    m_selectAll->setGeometry(24, h - 116, orv::ui::WidthForText(m_selectAll, 80), 16);
    m_conflictLabel->setGeometry(148, h - 114, 360, 16);
    m_group->setGeometry(20, h - 96, w - 40, 76);
    const int labelY = h - 72;
    const int fieldY = h - 76;
    // 120-pixel labels where the row has room; in a narrower window each
    // label takes only its text's width.
    const bool roomy = w - 24 >= 940;
    int x = 24;
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{m_companyLabel, m_companyEdit},
                                {m_websiteLabel, m_websiteEdit},
                                {m_modelLabel, m_modelEdit},
                                {m_versionLabel, m_versionList}}) {
        const int labelWidth = roomy ? 120 : label->sizeHint().width();
        const int fieldWidth = field == m_versionList ? 60 : 120;
        label->setGeometry(x, labelY, labelWidth, 16);
        x += labelWidth + 4;
        field->setGeometry(x, fieldY, fieldWidth, 20);
        x += fieldWidth + (roomy ? 0 : 12);
    }
    m_imageLabel->setGeometry(24, h - 42, 120, 16);
    m_imageEdit->setGeometry(148, h - 46, w - 260, 20);
    m_browse->setGeometry(w - 108, h - 46, 80, 20);
    // 18 high rather than 20: at h - 19 a taller button loses its lower
    // edge to the bottom of the page.
    m_upload->setGeometry(w / 2 - 40, h - 19, 80, 18);
}

void COemDlg::showConflict(bool conflict) {
    m_conflictLabel->setVisible(conflict);
    m_upload->setEnabled(!conflict && !JobRunning());
}

void COemDlg::JobRunningChanged(bool running) {
    m_upload->setEnabled(!running && m_conflictLabel->isHidden());
    m_browse->setEnabled(!running);
}

void COemDlg::PickDevice(const orv::device::DeviceId& key) {
    showConflict(Selection().Conflicts(key));
}

void COemDlg::ChecksChanged() {
    if (IsCheckedMode()) {
        showConflict(Selection().CheckedSetConflicts());
    }
}

void COemDlg::Browse() {
    const QStringList chosen = orv::ui::GetOpenFileNames(this, kFileFilter);
    if (chosen.isEmpty()) {
        return;
    }
    std::vector<std::wstring> paths;
    paths.reserve(static_cast<size_t>(chosen.size()));
    for (const QString& path : chosen) {
        paths.push_back(path.toStdWString());
    }
    m_imageEdit->setText(QString::fromStdWString(oem::JoinImageSelection(paths)));
}

void COemDlg::Upload() {
    const oem::CheckedOem checked = oem::CheckOemForm(
        {m_app.DefaultUserText().toStdWString(), m_app.DefaultPasswordText().toStdWString(),
         m_companyEdit->text().toStdWString(), m_websiteEdit->text().toStdWString(),
         m_modelEdit->text().toStdWString(), m_versionList->currentText().toStdWString(),
         m_imageEdit->text().toStdWString()});
    if (checked.error) {
        orv::ui::ShowMessage(this, orv::MessageText(*checked.error, checked.field));
        return;
    }
    const oem::OemUpload& upload = *checked.upload;
    const std::string path = oem::OemFilePath(orv::paths::Current().writableDir);
    oem::WriteOemFile(path, oem::OemFileContent(upload));

    const std::vector<orv::device::DeviceInfo> targets = Targets();
    if (targets.empty() && !IsCheckedMode()) {
        orv::ui::ShowMessage(this,
                             LangText(orv::kSelectOneDevice.id, orv::kSelectOneDevice.defaultText));
        return;
    }

    // Every camera's line, also in checked mode; the reboots follow through
    // the engine's queue, which any thread may fill.
    orv::jobs::CRebootQueue& reboots = m_jobs.Reboots();
    RunJob(oem::UploadOemJob(targets, upload, QString::fromStdString(path),
                             [&reboots](std::shared_ptr<orv::device::IDeviceSession> camera) {
                                 reboots.QueueReboot(std::move(camera));
                             }),
           Report::Lines);
}
