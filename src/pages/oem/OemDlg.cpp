#include "OemDlg.h"

#include "pages/common/CapabilityGate.h"

#include "log/LogFile.h"
#include "operations/common/AppServices.h"
#include "pages/common/FieldLimit.h"
#include "paths/AppPaths.h"
#include "ui/DialogFont.h"
#include "ui/FileDialog.h"
#include "ui/FlowLayout.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    using orv::ui::Named;
    // The labels are wider than their texts; right-aligned, each stands
    // beside its own field rather than after the previous one.
    auto label = [this](const char* text, const char* name) {
        auto* l = Named(new QLabel(QString::fromLatin1(text), this), name);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        return l;
    };
    m_group = Named(new QGroupBox(QStringLiteral("OEM Information"), this), "oemGroup");
    m_selectAll->setText(QStringLiteral("Select All"));
    m_conflictLabel = Named(new QLabel(this), "conflictLabel");
    m_companyLabel = label("Company:", "companyLabel");
    m_companyEdit = Named(new orv::ui::CNameEdit(this), "companyEdit");
    m_websiteLabel = label("Website:", "websiteLabel");
    m_websiteEdit = Named(new orv::ui::CNameEdit(this), "websiteEdit");
    m_modelLabel = label("Model:", "modelLabel");
    m_modelEdit = Named(new orv::ui::CNameEdit(this), "modelEdit");
    m_versionLabel = label("Version:", "versionLabel");
    m_versionList = Named(new QComboBox(this), "versionList");
    m_imageLabel = label("Image File:", "imageFileLabel");
    m_imageEdit = Named(new orv::ui::CNameEdit(this), "imageFileEdit");
    m_browse = Named(new QPushButton(QStringLiteral("Browse Files"), this), "browseButton");
    m_upload = Named(new QPushButton(QStringLiteral("Upload"), this), "uploadButton");
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

void COemDlg::layoutControls() {
    // Under the list: Select All and the conflict message; the OEM frame
    // with company, web site, model and version in a row (continued in a
    // second one where the window is narrow) and the image with Browse;
    // Upload in the middle under it.
    for (QWidget* field :
         std::initializer_list<QWidget*>{m_companyEdit, m_websiteEdit, m_modelEdit}) {
        orv::ui::FixWidth(field, 120);
    }
    orv::ui::FixWidth(m_versionList, 60);
    auto* fields = new orv::ui::CFlowLayout(nullptr, 12, 4);
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{m_companyLabel, m_companyEdit},
                                {m_websiteLabel, m_websiteEdit},
                                {m_modelLabel, m_modelEdit},
                                {m_versionLabel, m_versionList}}) {
        fields->addItem(orv::ui::LabelledField(label, field));
    }
    auto* image = new QHBoxLayout;
    image->setSpacing(4);
    image->addWidget(m_imageLabel);
    image->addWidget(m_imageEdit, 1);
    image->addWidget(m_browse);
    m_imageLabel->setBuddy(m_imageEdit);
    auto* group = new QVBoxLayout(m_group);
    group->addLayout(fields);
    group->addLayout(image);
    QVBoxLayout* below = LayOutUnderList(SelectAllRow({}, m_conflictLabel));
    below->addWidget(m_group);
    below->addLayout(orv::ui::CentredRow({m_upload}));
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
