#include "OemDlg.h"

#include "app/AppServices.h"
#include "log/LogFile.h"
#include "pages/batchset/WaitCursor.h"
#include "pages/upgrade/UpgradeRules.h"
#include "paths/AppPaths.h"
#include "text/TextConv.h"
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

using orv::ui::LangText;
namespace oem = orv::oem;
namespace up = orv::upgrade;

namespace {

constexpr int kCheckColumn = 0;
const QString kFileFilter = QStringLiteral("All Files (*)");

} // namespace

COemDlg::COemDlg(orv::IAppServices& app, QWidget* parent, orv::CDeviceList::Clock clock,
                 Options options)
    : CDeviceListPage(orv::DeviceListKind::Oem, parent, std::move(clock)), m_app(app),
      m_sdk(options.sdk != nullptr ? *options.sdk : orv::batchset::TheDeviceSdk()),
      m_queueReboot(std::move(options.queueReboot)) {
    setObjectName(QStringLiteral("oemPage"));
    createControls();

    connect(m_listCtrl, &orv::ui::CSortListCtrl::checkChanged, this,
            [this](int, bool checked, bool byUser) {
                if (byUser) {
                    onChecksChanged(checked);
                }
            });
    connect(m_listCtrl, &orv::ui::CSortListCtrl::itemClicked, this, &COemDlg::onItemClicked);
    connect(m_listCtrl, &orv::ui::CSortListCtrl::rowSelectionChanged, this,
            &COemDlg::onRowSelectionChanged);
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
    m_selectAll = named(new QCheckBox(QStringLiteral("Select All"), this), "selectAll");
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

    m_companyEdit->setMaxLength(oem::kCompanyChars);
    m_websiteEdit->setMaxLength(oem::kWebsiteChars);
    m_modelEdit->setMaxLength(oem::kModelChars);
    m_imageEdit->setMaxLength(oem::kImageFieldChars);
    m_versionList->setEditable(true);
    for (const char* entry : {"1", "2", "3", "4", "5"}) {
        m_versionList->addItem(QString::fromLatin1(entry));
    }
    m_versionList->setCurrentIndex(0);
    m_versionList->lineEdit()->setMaxLength(oem::kVersionChars);
    m_versionList->setInsertPolicy(QComboBox::NoInsert);

    m_conflictLabel->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_conflictLabel->setText(LangText(up::kAddressConflict.id, up::kAddressConflict.defaultText));
    m_conflictLabel->hide();
    m_upload->setEnabled(false);
    m_upload->setAutoDefault(false);
    m_browse->setAutoDefault(false);

    connect(m_selectAll, &QCheckBox::clicked, this, &COemDlg::onSelectAll);
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
    m_listCtrl->setGeometry(0, 0, w, h - 120);
    m_selectAll->setGeometry(24, h - 116, 80, 16);
    m_conflictLabel->setGeometry(148, h - 114, 360, 16);
    m_group->setGeometry(20, h - 96, w - 40, 76);
    const int labelY = h - 72;
    const int fieldY = h - 76;
    m_companyLabel->setGeometry(24, labelY, 120, 16);
    m_companyEdit->setGeometry(148, fieldY, 120, 20);
    m_websiteLabel->setGeometry(268, labelY, 120, 16);
    m_websiteEdit->setGeometry(392, fieldY, 120, 20);
    m_modelLabel->setGeometry(512, labelY, 120, 16);
    m_modelEdit->setGeometry(636, fieldY, 120, 20);
    m_versionLabel->setGeometry(756, labelY, 120, 16);
    m_versionList->setGeometry(880, fieldY, 60, 20);
    m_imageLabel->setGeometry(24, h - 42, 120, 16);
    m_imageEdit->setGeometry(148, h - 46, w - 260, 20);
    m_browse->setGeometry(w - 108, h - 46, 80, 20);
    // 18 high rather than 20: at h - 19 a taller button loses its lower
    // edge to the bottom of the page.
    m_upload->setGeometry(w / 2 - 40, h - 19, 80, 18);
}

std::vector<up::ListRow> COemDlg::listRows() const {
    std::vector<up::ListRow> rows;
    const int count = m_listCtrl->GetItemCount();
    rows.reserve(static_cast<size_t>(count));
    for (int row = 0; row < count; ++row) {
        const orv::DeviceRow* device = Devices().Row(row);
        rows.push_back({device != nullptr ? up::FieldText(device->record.IpAddr) : std::string(),
                        {},
                        m_listCtrl->GetCheck(row)});
    }
    return rows;
}

void COemDlg::showConflict(bool conflict) {
    m_conflictLabel->setVisible(conflict);
    m_upload->setEnabled(!conflict);
}

void COemDlg::selectCurrentRow(int row) {
    Devices().currentRow = row;
    showConflict(up::HasAddressConflict(listRows(), row));
}

void COemDlg::onRowSelectionChanged(int row, bool selected) {
    if (!selected || row < 0 || Devices().checkedMode || row == Devices().currentRow) {
        return;
    }
    selectCurrentRow(row);
}

void COemDlg::onItemClicked(int row, int column) {
    if (row < 0 || column == kCheckColumn) {
        return;
    }
    ApplyTextClickRule(m_selectAll, row);
}

void COemDlg::PickRow(int row) {
    selectCurrentRow(row);
}

void COemDlg::onChecksChanged(bool nowChecked) {
    ApplyCheckRule(m_selectAll, nowChecked);
    if (Devices().checkedMode) {
        showConflict(up::ValidateCheckedSet(listRows(), false) == up::SetVerdict::AddressConflict);
    }
}

void COemDlg::OnRowDoubleClicked(int row) {
    CDeviceListPage::OnRowDoubleClicked(row);
    if (row >= 0) {
        onChecksChanged(m_listCtrl->GetCheck(row));
    }
}

void COemDlg::onSelectAll(bool checked) {
    Devices().SetAllChecks(checked);
    if (m_listCtrl->GetItemCount() > 0) {
        onChecksChanged(checked);
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
        orv::ui::ShowMessage(this, LangText(checked.error->id, checked.error->defaultText));
        return;
    }
    const oem::OemUpload& upload = *checked.upload;
    const std::string path = oem::OemFilePath(orv::paths::Current().writableDir);
    oem::WriteOemFile(path, oem::OemFileContent(upload));

    std::vector<tagQvIpcInfo> targets;
    if (Devices().checkedMode) {
        targets = Devices().CheckedDevices();
    } else if (const orv::DeviceRow* row = Devices().Row(Devices().currentRow);
               Devices().currentRow >= 0 && row != nullptr) {
        targets.push_back(row->record);
    } else {
        orv::ui::ShowMessage(this,
                             LangText(oem::kSelectOneDevice.id, oem::kSelectOneDevice.defaultText));
        return;
    }

    orv::batchset::WaitCursor wait;
    oem::UploadOem(
        m_sdk, targets, upload, path,
        [this](const std::string& line) {
            wchar_t wide[260] = {};
            MultiToWide(orv::kCpAnsi, line.c_str(), wide, 260);
            m_app.AddOperatingInfo(QString::fromWCharArray(wide));
        },
        m_queueReboot);
}
