#include "NetworkParamDlg.h"

#include "pages/common/CapabilityGate.h"

#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/NetworkParamRules.h"
#include "pages/common/FieldLimit.h"
#include "ui/DialogFont.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>

using orv::ui::LangText;

CNetworkParamDlg::CNetworkParamDlg(orv::batchset::CBatchOperations& operations,
                                   const orv::device::CDriverSet& drivers, QWidget* parent)
    : CBatchSubPage(parent), m_operations(operations), m_drivers(drivers) {
    setObjectName(QStringLiteral("networkParamPage"));
    createControls();

    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* port : {m_httpEdit, m_onvifEdit, m_rtsp1Edit, m_rtsp2Edit}) {
        port->setMaxLength(5);
        port->setValidator(digits);
    }
    m_httpEdit->setText(QStringLiteral("8080"));
    m_onvifEdit->setText(QStringLiteral("80"));
    m_rtsp1Edit->setText(QStringLiteral("554"));
    m_rtsp2Edit->setText(QStringLiteral("555"));
    m_userEdit->setMaxLength(31);
    m_passwordEdit->setMaxLength(31);
    m_hostEdit->setMaxLength(63);
    m_hashEdit->setMaxLength(63);
    using orv::device::TextField;
    for (const auto& [edit, field] :
         {std::pair{m_userEdit, TextField::DdnsUser},
          std::pair{m_passwordEdit, TextField::DdnsPassword},
          std::pair{m_hostEdit, TextField::DdnsHost}, std::pair{m_hashEdit, TextField::DdnsHash}}) {
        orv::LimitToTaken(edit, m_drivers, field);
    }
    for (const orv::batchset::DdnsProvider& provider : orv::batchset::kProviders) {
        m_providers->addItem(QString::fromWCharArray(provider.listText));
    }
    m_providers->setCurrentIndex(0);
    applyEnableRule();
    applyHashRule();
    m_save->setEnabled(false);
    rememberShown();

    SetLanguageText();
    layoutControls();
}

orv::batchset::PortForm CNetworkParamDlg::portForm() const {
    return {m_httpEdit->text().toStdWString(), m_onvifEdit->text().toStdWString(),
            m_rtsp1Edit->text().toStdWString(), m_rtsp2Edit->text().toStdWString()};
}

orv::batchset::DdnsForm CNetworkParamDlg::ddnsForm() const {
    return {m_enable->isChecked(),
            m_providers->currentIndex(),
            m_userEdit->text().toStdWString(),
            m_passwordEdit->text().toStdWString(),
            m_hostEdit->text().toStdWString(),
            m_hashEdit->text().toStdWString()};
}

void CNetworkParamDlg::rememberShown() {
    m_shownPorts = portForm();
    m_shownDdns = ddnsForm();
    m_typedIn.clear();
}

void CNetworkParamDlg::createControls() {
    using orv::ui::Named;
    m_portFrame = Named(new QGroupBox(this), "portFrame");
    m_ddnsFrame = Named(new QGroupBox(this), "ddnsFrame");
    m_httpLabel = Named(new QLabel(this), "httpPortLabel");
    m_httpEdit = Named(new QLineEdit(this), "httpPortEdit");
    m_rtsp1Label = Named(new QLabel(this), "rtspPort1Label");
    m_rtsp1Edit = Named(new QLineEdit(this), "rtspPort1Edit");
    m_rtsp2Label = Named(new QLabel(this), "rtspPort2Label");
    m_rtsp2Edit = Named(new QLineEdit(this), "rtspPort2Edit");
    m_onvifLabel = Named(new QLabel(this), "onvifPortLabel");
    m_onvifEdit = Named(new QLineEdit(this), "onvifPortEdit");
    m_enable = Named(new QCheckBox(this), "ddnsEnable");
    m_providerLabel = Named(new QLabel(this), "providerLabel");
    m_providers = Named(new QComboBox(this), "providerList");
    m_userLabel = Named(new QLabel(this), "ddnsUserLabel");
    m_userEdit = Named(new QLineEdit(this), "ddnsUserEdit");
    m_passwordLabel = Named(new QLabel(this), "ddnsPasswordLabel");
    m_passwordEdit = Named(new QLineEdit(this), "ddnsPasswordEdit");
    m_hostLabel = Named(new QLabel(this), "ddnsHostLabel");
    m_hostEdit = Named(new QLineEdit(this), "ddnsHostEdit");
    m_hashLabel = Named(new QLabel(this), "ddnsHashLabel");
    m_hashEdit = Named(new QLineEdit(this), "ddnsHashEdit");
    m_save = Named(new QPushButton(this), "saveButton");
    using orv::device::Capability;
    for (QWidget* field : {m_httpEdit, m_rtsp1Edit, m_onvifEdit}) {
        NeedsCapability(field, Capability::Ports);
    }
    NeedsCapability(m_rtsp2Edit, Capability::SecondRtspPort);
    for (QWidget* field : {static_cast<QWidget*>(m_enable), static_cast<QWidget*>(m_hostEdit)}) {
        NeedsCapability(field, Capability::Ddns);
    }
    // Cameras that name only their host (ONVIF) keep the provider's
    // account fields disabled.
    for (QWidget* field :
         std::initializer_list<QWidget*>{m_providers, m_userEdit, m_passwordEdit, m_hashEdit}) {
        NeedsCapability(field, Capability::DdnsAccount);
    }

    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_save->setAutoDefault(false);
    // Labels end where their fields begin.
    for (QLabel* label : findChildren<QLabel*>()) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    // A load sets the check box without the Enable rule, so the rule follows
    // the user's clicks only.
    connect(m_enable, &QCheckBox::clicked, this, [this] { applyEnableRule(); });
    connect(m_providers, &QComboBox::activated, this, [this] { applyHashRule(); });
    connect(m_save, &QPushButton::clicked, this, &CNetworkParamDlg::Save);
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { m_typedIn.insert(edit); });
    }
}

void CNetworkParamDlg::SetLanguageText() {
    m_portFrame->setTitle(LangText(L"50000", L"Manual Port Mapping"));
    m_ddnsFrame->setTitle(LangText(L"50001", L"DDNS Parameters Setup"));
    m_rtsp1Label->setText(LangText(L"50002", L"RTSP Port1:"));
    m_rtsp2Label->setText(LangText(L"50003", L"RTSP Port2:"));
    m_httpLabel->setText(LangText(L"50004", L"HTTP Port:"));
    m_onvifLabel->setText(LangText(L"50005", L"ONVIF Port:"));
    m_enable->setText(LangText(L"50006", L"Enable"));
    m_providerLabel->setText(LangText(L"50007", L"Provider:"));
    m_userLabel->setText(LangText(L"50008", L"Username:"));
    m_passwordLabel->setText(LangText(L"50009", L"Password:"));
    m_hostLabel->setText(LangText(L"50010", L"Host Name:"));
    m_hashLabel->setText(LangText(L"50011", L"Hash:"));
    m_save->setText(LangText(L"40015", L"Save Parameters"));
}

void CNetworkParamDlg::applyHashRule() {
    m_hashEdit->setEnabled(m_providers->currentIndex() == orv::batchset::kHashProvider);
}

void CNetworkParamDlg::applyEnableRule() {
    const bool on = m_enable->isChecked();
    m_userEdit->setEnabled(on);
    m_passwordEdit->setEnabled(on);
    m_hostEdit->setEnabled(on);
    if (on) {
        applyHashRule();
    } else {
        m_hashEdit->setEnabled(false);
    }
}

void CNetworkParamDlg::SetProviderFromRecordText(const QString& text) {
    m_providers->setCurrentIndex(orv::batchset::ProviderIndexFor(text.toStdWString()));
    applyHashRule();
    if (!m_enable->isChecked()) {
        m_hashEdit->setEnabled(false);
    }
}

void CNetworkParamDlg::ShowSettings(const orv::batchset::DeviceSettings& settings) {
    m_onlyChanges = SendsOnlyChanges(settings);
    if (settings.ports) {
        const orv::device::Ports& ports = settings.ports->ports;
        m_httpEdit->setText(QString::number(ports.http));
        m_onvifEdit->setText(QString::number(ports.onvif));
        m_rtsp1Edit->setText(QString::number(ports.rtsp));
        m_rtsp2Edit->setText(QString::number(ports.rtsp2));
    }
    if (settings.ddns) {
        const orv::device::DdnsSettings& ddns = *settings.ddns;
        m_enable->setChecked(ddns.enabled);
        m_userEdit->setText(ddns.user);
        m_passwordEdit->setText(ddns.password);
        m_hashEdit->setText(ddns.hash);
        m_hostEdit->setText(ddns.host);
        SetProviderFromRecordText(ddns.provider);
        // The fields follow the camera's switch, so an enabled registration
        // can be edited at once.
        applyEnableRule();
    }
    rememberShown();
}

void CNetworkParamDlg::SetSaveEnabled(bool enabled) {
    m_save->setEnabled(enabled);
}

void CNetworkParamDlg::Save() {
    namespace bs = orv::batchset;
    if (m_operations.CheckedMode() || m_onlyChanges) {
        saveChanges();
        return;
    }
    const bs::PortForm ports = portForm();
    const bs::DdnsForm ddns = ddnsForm();
    const bs::NetworkParams params = bs::CheckNetworkParams(ports, ddns, m_drivers);
    if (params.error) {
        orv::ui::ShowMessage(this, orv::MessageText(*params.error, params.field));
        return;
    }
    // One job, ports first: each camera logs in once for both.
    m_operations.Apply("Batch Set Network", {*bs::CBatchOperations::SetPorts(&params.ports),
                                             *bs::CBatchOperations::SetDdns(&params.ddns)});
}

void CNetworkParamDlg::saveChanges() {
    namespace bs = orv::batchset;
    // A field the person typed in is touched even where its text came back
    // to what was shown (8080 typed over a shown 8080 means 8080 for all).
    bs::PortForm shown = m_shownPorts;
    bs::DdnsForm shownDdns = m_shownDdns;
    const std::pair<QLineEdit*, std::wstring*> texts[] = {
        {m_httpEdit, &shown.http},     {m_onvifEdit, &shown.onvif},
        {m_rtsp1Edit, &shown.rtsp1},   {m_rtsp2Edit, &shown.rtsp2},
        {m_userEdit, &shownDdns.user}, {m_passwordEdit, &shownDdns.password},
        {m_hostEdit, &shownDdns.host}, {m_hashEdit, &shownDdns.hash}};
    for (const auto& [edit, text] : texts) {
        if (m_typedIn.contains(edit)) {
            *text = L"\x1"; // never a field's text: differs from anything typed
        }
    }
    const bs::CheckedChange change =
        bs::CheckChanges(shown, portForm(), shownDdns, ddnsForm(), m_drivers);
    if (change.error) {
        orv::ui::ShowMessage(this, orv::MessageText(*change.error, change.field));
        return;
    }
    std::vector<bs::Step> steps;
    QStringList what;
    const std::pair<const std::optional<std::int32_t>&, QLabel*> ports[] = {
        {change.ports.http, m_httpLabel},
        {change.ports.rtsp1, m_rtsp1Label},
        {change.ports.rtsp2, m_rtsp2Label},
        {change.ports.onvif, m_onvifLabel}};
    for (const auto& [port, label] : ports) {
        if (port) {
            what << QStringLiteral("%1 %2").arg(orv::FieldName(label->text())).arg(*port);
        }
    }
    if (change.ports.Any()) {
        steps.push_back(bs::CBatchOperations::ChangePorts(change.ports));
    }
    if (change.ddns.Any()) {
        what << m_ddnsFrame->title();
        steps.push_back(bs::CBatchOperations::ChangeDdns(change.ddns));
    }
    // One job, ports first: each camera logs in once for both.
    if (m_operations.ApplyChanges("Batch Set Network", std::move(steps),
                                  what.join(QStringLiteral(", ")).toStdWString()) != 0) {
        // Sent: what the fields show now is what the cameras were given.
        rememberShown();
    }
}

void CNetworkParamDlg::layoutControls() {
    using orv::ui::AddFormRow;
    const QString port = QStringLiteral("65535");
    QGridLayout* ports = orv::ui::NewCentredForm();
    for (auto [label, edit] :
         {std::pair{m_httpLabel, m_httpEdit}, std::pair{m_rtsp1Label, m_rtsp1Edit},
          std::pair{m_rtsp2Label, m_rtsp2Edit}, std::pair{m_onvifLabel, m_onvifEdit}}) {
        orv::ui::FixWidth(edit, 80, port);
        AddFormRow(ports, label, edit);
    }
    m_portFrame->setLayout(ports);
    QGridLayout* ddns = orv::ui::NewCentredForm();
    AddFormRow(ddns, nullptr, m_enable);
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{m_providerLabel, m_providers},
                                {m_userLabel, m_userEdit},
                                {m_passwordLabel, m_passwordEdit},
                                {m_hostLabel, m_hostEdit},
                                {m_hashLabel, m_hashEdit}}) {
        orv::ui::FixWidth(field, 120);
        AddFormRow(ddns, label, field);
    }
    m_ddnsFrame->setLayout(ddns);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(2, 2, 2, 2);
    page->addWidget(m_portFrame);
    page->addSpacing(12);
    page->addWidget(m_ddnsFrame);
    page->addLayout(orv::ui::CentredRow({m_save}));
    page->addStretch(1);
}
