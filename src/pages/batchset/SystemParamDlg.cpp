#include "SystemParamDlg.h"

#include "pages/common/CapabilityGate.h"

#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/SystemTime.h"
#include "operations/common/AppServices.h"
#include "operations/common/Message.h"
#include "pages/common/FieldLimit.h"
#include "text/TextConv.h"
#include "ui/DialogFont.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <algorithm>

using orv::batchset::DateOption;
using orv::ui::LangText;

namespace {

constexpr int kSecondMs = 1000;
// Characters a name or password edit holds at most; what a camera keeps is
// its driver's to say.
constexpr int kLongestText = 64;
using orv::device::TextField;
const orv::Message kNameLabel{L"40003", L"Device Name:"};
const orv::Message kPasswordLabel{L"40005", L"Password:"};

void showMessage(QWidget* parent, const orv::Message& message) {
    orv::ui::ShowMessage(parent, LangText(message.id, message.defaultText));
}

} // namespace

CSystemParamDlg::CSystemParamDlg(orv::batchset::CBatchOperations& operations,
                                 orv::IAppServices& app, const orv::device::CDriverSet& drivers,
                                 QWidget* parent)
    : CBatchSubPage(parent), m_operations(operations), m_app(app), m_drivers(drivers) {
    setObjectName(QStringLiteral("systemParamPage"));
    createControls();

    // The name and the password take what the cameras they go to keep of
    // them: the maker's cameras their fixed fields, other makers' cameras
    // longer texts.
    m_nameEdit->setMaxLength(kLongestText);
    m_passwordEdit->setMaxLength(kLongestText);
    m_confirmEdit->setMaxLength(kLongestText);
    const auto targets = [this] { return m_operations.Targets(); };
    orv::LimitToTaken(m_nameEdit, m_drivers, TextField::Name, targets);
    for (QLineEdit* edit : {m_passwordEdit, m_confirmEdit}) {
        orv::LimitToTaken(edit, m_drivers, TextField::Password, targets);
    }
    m_userEdit->setText(QStringLiteral("admin"));
    RearmPasswords();
    m_datePicker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    m_timePicker->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    const QDateTime now = QDateTime::currentDateTime();
    m_datePicker->setDateTime(now);
    m_timePicker->setDateTime(now);
    m_keep->setChecked(true);
    onOptionChosen(static_cast<int>(DateOption::Keep));
    for (const char* zone : orv::batchset::kTimeZoneNames) {
        m_timeZones->addItem(QString::fromLatin1(zone));
    }
    m_timeZones->setCurrentIndex(orv::batchset::kDefaultTimeZone);
    m_save->setEnabled(false);
    m_secondTimer.start(kSecondMs, this);

    SetLanguageText();
    layoutControls();
}

CSystemParamDlg::~CSystemParamDlg() {
    m_secondTimer.stop();
}

void CSystemParamDlg::createControls() {
    using orv::ui::Named;
    // Frames first, so the fields drawn over them stay on top.
    m_systemFrame = Named(new QGroupBox(this), "systemSetupFrame");
    m_adminFrame = Named(new QGroupBox(this), "administratorFrame");
    m_dateFrame = Named(new QGroupBox(this), "dateTimeFrame");
    m_nameLabel = Named(new QLabel(this), "deviceNameLabel");
    m_nameEdit = Named(new orv::ui::CNameEdit(this), "deviceNameEdit");
    m_userLabel = Named(new QLabel(this), "userLabel");
    m_userEdit = Named(new QLineEdit(this), "userEdit");
    m_passwordLabel = Named(new QLabel(this), "passwordLabel");
    m_passwordEdit = Named(new QLineEdit(this), "passwordEdit");
    m_confirmLabel = Named(new QLabel(this), "confirmPasswordLabel");
    m_confirmEdit = Named(new QLineEdit(this), "confirmPasswordEdit");
    m_reboot = Named(new QPushButton(this), "rebootButton");
    m_restore = Named(new QPushButton(this), "restoreButton");
    m_dateLabel = Named(new QLabel(this), "dateLabel");
    m_datePicker = Named(new QDateTimeEdit(this), "datePicker");
    m_timeLabel = Named(new QLabel(this), "timeLabel");
    m_timePicker = Named(new QDateTimeEdit(this), "timePicker");
    m_keep = Named(new QRadioButton(this), "keepTimeOption");
    m_computerTime = Named(new QRadioButton(this), "computerTimeOption");
    m_manual = Named(new QRadioButton(this), "manualTimeOption");
    m_timeServer = Named(new QRadioButton(this), "timeServerOption");
    m_timeZones = Named(new QComboBox(this), "timeZoneList");
    m_save = Named(new QPushButton(this), "saveButton");
    using orv::device::Capability;
    NeedsCapability(m_nameEdit, Capability::Name);
    for (QWidget* field : {m_userEdit, m_passwordEdit, m_confirmEdit}) {
        NeedsCapability(field, Capability::Password);
    }
    NeedsCapability(m_reboot, Capability::Reboot);
    NeedsCapability(m_restore, Capability::Restore);
    for (QWidget* field :
         std::initializer_list<QWidget*>{m_datePicker, m_timePicker, m_keep, m_computerTime,
                                         m_manual, m_timeServer, m_timeZones}) {
        NeedsCapability(field, Capability::DateTime);
    }

    m_userEdit->setReadOnly(true);
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_confirmEdit->setEchoMode(QLineEdit::Password);
    m_options = new QButtonGroup(this);
    m_options->addButton(m_keep, static_cast<int>(DateOption::Keep));
    m_options->addButton(m_computerTime, static_cast<int>(DateOption::ComputerTime));
    m_options->addButton(m_manual, static_cast<int>(DateOption::Manual));
    m_options->addButton(m_timeServer, static_cast<int>(DateOption::TimeServer));
    for (QPushButton* button : {m_reboot, m_restore, m_save}) {
        button->setAutoDefault(false);
    }

    // Only a password typed here is a new one; what the page puts there is
    // the default.
    for (QLineEdit* edit : {m_passwordEdit, m_confirmEdit}) {
        connect(edit, &QLineEdit::textEdited, this, [this] { m_passwordTyped = true; });
    }
    connect(m_options, &QButtonGroup::idClicked, this, &CSystemParamDlg::onOptionChosen);
    connect(m_reboot, &QPushButton::clicked, this, [this] { m_operations.Reboot(); });
    connect(m_restore, &QPushButton::clicked, this, [this] { m_operations.Restore(); });
    connect(m_save, &QPushButton::clicked, this, &CSystemParamDlg::Save);
}

void CSystemParamDlg::SetLanguageText() {
    m_systemFrame->setTitle(LangText(L"40000", L"System Setup"));
    m_adminFrame->setTitle(LangText(L"40001", L"Administrator"));
    m_dateFrame->setTitle(LangText(L"40002", L"Date/Time Setup"));
    m_nameLabel->setText(LangText(L"40003", L"Device Name:"));
    m_userLabel->setText(LangText(L"40004", L"Username:"));
    m_passwordLabel->setText(LangText(L"40005", L"Password:"));
    m_confirmLabel->setText(LangText(L"40006", L"Confirm Password:"));
    m_reboot->setText(LangText(L"40007", L"Reboot"));
    m_restore->setText(LangText(L"40008", L"Restore"));
    m_dateLabel->setText(LangText(L"40009", L"Date:"));
    m_timeLabel->setText(LangText(L"40010", L"Time:"));
    m_keep->setText(LangText(L"40011", L"Keep current date and time"));
    m_computerTime->setText(LangText(L"40012", L"Synchronize with computer time"));
    m_manual->setText(LangText(L"40013", L"Set date and time manually"));
    m_timeServer->setText(LangText(L"40014", L"Synchronize to network server automatically"));
    m_save->setText(LangText(L"40015", L"Save Parameters"));
}

void CSystemParamDlg::onOptionChosen(int option) {
    const auto chosen = static_cast<DateOption>(option);
    const bool pickers = chosen == DateOption::Manual;
    m_datePicker->setEnabled(pickers);
    m_timePicker->setEnabled(pickers);
    m_timeZones->setEnabled(chosen == DateOption::TimeServer);
    if (chosen == DateOption::ComputerTime) {
        const QDateTime now = QDateTime::currentDateTime();
        m_datePicker->setDateTime(now);
        m_timePicker->setDateTime(now);
    }
}

void CSystemParamDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_secondTimer.timerId()) {
        OnSecondTick();
        return;
    }
    CBatchSubPage::timerEvent(event);
}

void CSystemParamDlg::OnSecondTick() {
    // Through seconds since 1970, so that minute, hour and date roll over.
    m_timePicker->setDateTime(m_timePicker->dateTime().addSecs(1));
    if (m_operations.CheckedMode()) {
        return;
    }
    const QString name = m_nameEdit->text();
    if (name.isEmpty()) {
        return;
    }
    const QString cut = m_drivers.Cut(TextField::Name, name, m_operations.Targets());
    if (cut != name) {
        m_nameEdit->setText(cut);
        m_nameEdit->setCursorPosition(static_cast<int>(cut.size()));
    }
}

void CSystemParamDlg::RearmPasswords() {
    // The text as the main window holds it: converted for a camera it
    // would come back escaped.
    const QString password = m_app.DefaultPasswordText();
    m_passwordEdit->setText(password);
    m_confirmEdit->setText(password);
    m_passwordTyped = false;
}

void CSystemParamDlg::FollowDefaultPassword() {
    if (!m_passwordTyped) {
        RearmPasswords();
    }
}

void CSystemParamDlg::ShowDevice(const orv::device::DeviceInfo& device) {
    m_nameEdit->setText(device.name);
    // A password typed for one camera is not another camera's.
    RearmPasswords();
}

void CSystemParamDlg::ShowSettings(const orv::batchset::DeviceSettings& settings) {
    if (!settings.time) {
        return;
    }
    const orv::device::TimeSettings& time = *settings.time;
    if (const auto when = orv::batchset::ReadDeviceDateTime(time)) {
        const QDateTime at(QDate(when->year, when->month, when->day),
                           QTime(when->hour, when->minute, when->second));
        m_datePicker->setDateTime(at);
        m_timePicker->setDateTime(at);
    }
    if (const int zone = orv::batchset::TimeZoneIndex(time); zone >= 0) {
        m_timeZones->setCurrentIndex(zone);
    }
}

void CSystemParamDlg::SetJobRunning(bool running) {
    m_reboot->setEnabled(!running);
    m_restore->setEnabled(!running);
}

void CSystemParamDlg::SetSaveEnabled(bool enabled) {
    m_save->setEnabled(enabled);
}

void CSystemParamDlg::SetCheckedMode(bool on) {
    // Every checked camera keeps its own name.
    m_nameEdit->setEnabled(!on);
}

void CSystemParamDlg::Save() {
    namespace bs = orv::batchset;
    const QString name = m_nameEdit->text().trimmed();
    if (name.isEmpty() && !m_operations.CheckedMode()) {
        showMessage(this, orv::kFieldEmpty);
        return;
    }
    const std::vector<orv::device::DeviceInfo> targets = m_operations.Targets();
    if (!m_operations.CheckedMode() && !m_drivers.TakesFor(targets, TextField::Name, name)) {
        orv::ui::ShowMessage(this, orv::MessageText(orv::kTooLongForCamera, kNameLabel));
        return;
    }

    const QString password = m_passwordEdit->text().trimmed();
    if (password.isEmpty()) {
        showMessage(this, orv::kPasswordEmpty);
        return;
    }
    const QString confirm = m_confirmEdit->text().trimmed();
    if (!m_drivers.TakesFor(targets, TextField::Password, password) && m_passwordTyped) {
        orv::ui::ShowMessage(this, orv::MessageText(orv::kTooLongForCamera, kPasswordLabel));
        return;
    }
    // A confirmation the cameras could not keep matches nothing.
    if (!m_drivers.TakesFor(targets, TextField::Password, confirm) || password != confirm) {
        showMessage(this, {L"90015", L"The two passwords do not match!"});
        return;
    }

    // One job: each camera gets the date, its name and the password, in
    // that order, with one login.
    std::vector<bs::Step> steps;
    const auto option = static_cast<DateOption>(m_options->checkedId());
    if (option == DateOption::ComputerTime) {
        // The computer's time as the Save leaves, not what a camera's
        // reading left in the pickers.
        const QDateTime now = QDateTime::currentDateTime();
        m_datePicker->setDateTime(now);
        m_timePicker->setDateTime(now);
    }
    const QDate date = m_datePicker->date();
    const QTime time = m_timePicker->time();
    const bs::DateTime when{date.year(), date.month(),  date.day(),
                            time.hour(), time.minute(), time.second()};
    std::optional<bs::Step> dateStep;
    if (option == DateOption::ComputerTime || option == DateOption::Manual) {
        dateStep = bs::CBatchOperations::SetSystemDate(option, -1, &when);
    } else if (option == DateOption::TimeServer) {
        dateStep = bs::CBatchOperations::SetSystemDate(option, m_timeZones->currentIndex(), &when);
    }
    if (dateStep) {
        steps.push_back(*dateStep);
    }

    if (const std::optional<bs::Step> nameStep = m_operations.SetDeviceName(name)) {
        steps.push_back(*nameStep);
    }

    // The text as typed: the driver escapes it for the camera.
    const QString& typed = password;
    const bool newPasswordTyped = m_passwordTyped && typed != m_app.DefaultPasswordText();
    if (newPasswordTyped) {
        // The camera takes the new password only after a restart.
        for (bs::Step& step :
             m_operations.ModifyPasswordAndReboot(QStringLiteral("admin"), typed)) {
            steps.push_back(std::move(step));
        }
    }
    QStringList what;
    if (dateStep) {
        what << m_options->checkedButton()->text();
    }
    if (newPasswordTyped) {
        what << orv::FieldName(m_passwordLabel->text());
    }
    if (m_operations.Apply("Batch Set System", std::move(steps),
                           what.join(QStringLiteral(", ")).toStdWString()) != 0 &&
        newPasswordTyped) {
        // Sent once: a later Save sends it again only when typed again.
        m_passwordTyped = false;
        emit passwordChangeStarted(typed);
    }
}

void CSystemParamDlg::layoutControls() {
    using orv::ui::AddFormRow;
    for (QLineEdit* edit :
         std::initializer_list<QLineEdit*>{m_nameEdit, m_userEdit, m_passwordEdit, m_confirmEdit}) {
        orv::ui::FixWidth(edit, 160);
    }
    // System Setup: the name, the administrator's login in a frame of its
    // own, Reboot and Restore either side of the middle.
    QGridLayout* name = orv::ui::NewCentredForm();
    AddFormRow(name, m_nameLabel, m_nameEdit);
    QGridLayout* admin = orv::ui::NewCentredForm();
    AddFormRow(admin, m_userLabel, m_userEdit);
    AddFormRow(admin, m_passwordLabel, m_passwordEdit);
    AddFormRow(admin, m_confirmLabel, m_confirmEdit);
    m_adminFrame->setLayout(admin);
    auto* adminRow = new QHBoxLayout;
    adminRow->setContentsMargins(18, 0, 18, 0);
    adminRow->addWidget(m_adminFrame);
    QGridLayout* buttons = orv::ui::NewCentredForm();
    buttons->setHorizontalSpacing(20);
    buttons->addWidget(m_reboot, 0, 0, Qt::AlignRight);
    buttons->addWidget(m_restore, 0, 1, Qt::AlignLeft);
    auto* system = new QVBoxLayout(m_systemFrame);
    system->addLayout(name);
    system->addLayout(adminRow);
    system->addLayout(buttons);

    // Date/Time Setup: date and time on one line, the four ways below it
    // and the time zones the frame's width (their names are long).
    auto* pickers = new QHBoxLayout;
    pickers->setSpacing(4);
    pickers->addWidget(m_datePicker);
    pickers->addSpacing(8);
    pickers->addWidget(m_timeLabel);
    pickers->addWidget(m_timePicker);
    QGridLayout* date = orv::ui::NewCentredForm();
    date->addWidget(m_dateLabel, 0, 0);
    m_dateLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_dateLabel->setBuddy(m_datePicker);
    m_timeLabel->setBuddy(m_timePicker);
    date->addLayout(pickers, 0, 1, Qt::AlignLeft);
    auto* options = new QVBoxLayout;
    for (QRadioButton* option : {m_keep, m_computerTime, m_manual, m_timeServer}) {
        options->addWidget(option);
    }
    auto* optionRow = new QHBoxLayout;
    optionRow->addStretch(1);
    optionRow->addLayout(options);
    optionRow->addStretch(1);
    orv::ui::FitToCurrentEntry(m_timeZones);
    auto* dateTime = new QVBoxLayout(m_dateFrame);
    dateTime->addLayout(date);
    dateTime->addLayout(optionRow);
    dateTime->addWidget(m_timeZones);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(2, 2, 2, 2);
    page->addWidget(m_systemFrame);
    page->addWidget(m_dateFrame);
    page->addLayout(orv::ui::CentredRow({m_save}));
    page->addStretch(1);
}
