#include "VideoImageDlg.h"

#include "pages/common/CapabilityGate.h"

#include "operations/batchset/BatchOperations.h"
#include "operations/common/ResultLines.h"
#include "ui/DialogFont.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

using orv::ui::LangText;
namespace bs = orv::batchset;

namespace {

// The longest model text a camera reports; the class is read from its
// first characters.
constexpr std::size_t kModelWidth = 31;
constexpr orv::Message kStreamsUnread{
    L"90030", L"The stream settings of %1 could not be read, so nothing was saved. Check that "
              L"camera, then select it again."};

void fill(QComboBox* list, const bs::Entries& entries) {
    list->clear();
    for (const std::string& entry : entries) {
        list->addItem(QString::fromLatin1(entry.c_str()));
    }
}

bs::Entries entriesOf(const QComboBox* list) {
    bs::Entries entries;
    for (int i = 0; i < list->count(); ++i) {
        entries.push_back(list->itemText(i).toStdString());
    }
    return entries;
}

// The position when the list has it, no selection otherwise.
void selectPosition(QComboBox* list, int position) {
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

std::optional<int> selection(const QComboBox* list) {
    if (list->currentIndex() < 0) {
        return std::nullopt;
    }
    return list->currentIndex();
}

std::optional<int> selectedNumber(const QComboBox* list) {
    if (list->currentIndex() < 0) {
        return std::nullopt;
    }
    return bs::EntryNumber(list->currentText().toStdString());
}

} // namespace

CVideoImageDlg::CVideoImageDlg(bs::CBatchOperations& operations, QWidget* parent)
    : CBatchSubPage(parent), m_operations(operations) {
    setObjectName(QStringLiteral("videoImagePage"));
    createControls();

    fill(m_primary.codec, bs::PrimaryCodecs());
    m_primary.codec->setCurrentIndex(0);
    m_primary.codec->setEnabled(false);
    fill(m_secondary.codec, bs::SecondaryCodecs());
    m_secondary.codec->setCurrentIndex(0);
    fill(m_primary.size, bs::AllPrimarySizes());
    m_primary.size->setCurrentIndex(bs::kStartPrimarySize);
    fill(m_secondary.size, bs::SecondarySizes(false));
    m_secondary.size->setCurrentIndex(bs::kStartSecondarySize);
    for (QComboBox* rates : {m_primary.rate, m_secondary.rate}) {
        fill(rates, bs::InitialFrameRates());
        rates->setCurrentIndex(0);
    }
    fill(m_primary.bitRate, bs::InitialPrimaryBitRates());
    m_primary.bitRate->setCurrentIndex(bs::kStartPrimaryBitRate);
    fill(m_secondary.bitRate, bs::SecondaryBitRates());
    m_secondary.bitRate->setCurrentIndex(bs::kStartSecondaryBitRate);
    for (QComboBox* control : {m_primary.control, m_secondary.control}) {
        fill(control, bs::BitRateControls());
        control->setCurrentIndex(bs::kStartBitRateControl);
    }
    auto* digits =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this);
    for (QLineEdit* edit : {m_primary.iFrame, m_secondary.iFrame}) {
        edit->setMaxLength(bs::kIFrameDigits);
        edit->setValidator(digits);
    }
    m_primary.iFrame->setText(QString::fromLatin1(bs::kStartPrimaryIFrame));
    m_secondary.iFrame->setText(QString::fromLatin1(bs::kStartSecondaryIFrame));
    m_enable->setChecked(false);
    fill(m_powerLine, bs::PowerLineFrequencies());
    m_powerLine->setCurrentIndex(bs::kStartPowerLine);
    fill(m_outdoor, bs::OutdoorModes());
    m_outdoor->setCurrentIndex(0);
    fill(m_localDisplay, bs::LocalDisplayModes());
    m_localDisplay->setCurrentIndex(0);
    m_save->setEnabled(false);
    applyEnableRule();
    rememberShown();

    SetLanguageText();
    layoutControls();
}

void CVideoImageDlg::rememberShown() {
    bs::VideoImageParams shown = bs::BuildVideoImageParams(form());
    // Without complete settings nothing can be told apart: all is sent.
    m_shownParams = shown.error ? std::nullopt : std::optional(shown);
    m_setByHand.clear();
}

void CVideoImageDlg::createStream(StreamControls& stream, const char* prefix) {
    auto named = [prefix](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(prefix) + QString::fromLatin1(name));
        return widget;
    };
    stream.codecLabel = named(new QLabel(this), "CodecLabel");
    stream.codec = named(new QComboBox(this), "CodecList");
    stream.sizeLabel = named(new QLabel(this), "SizeLabel");
    stream.size = named(new QComboBox(this), "SizeList");
    stream.rateLabel = named(new QLabel(this), "RateLabel");
    stream.rate = named(new QComboBox(this), "RateList");
    stream.bitRateLabel = named(new QLabel(this), "BitRateLabel");
    stream.bitRate = named(new QComboBox(this), "BitRateList");
    stream.controlLabel = named(new QLabel(this), "ControlLabel");
    stream.control = named(new QComboBox(this), "ControlList");
    stream.iFrameLabel = named(new QLabel(this), "IFrameLabel");
    stream.iFrame = named(new QLineEdit(this), "IFrameEdit");
}

void CVideoImageDlg::createControls() {
    using orv::ui::Named;
    // Frames first, so the fields drawn over them stay on top.
    m_primaryFrame = Named(new QGroupBox(this), "primaryFrame");
    m_secondaryFrame = Named(new QGroupBox(this), "secondaryFrame");
    m_imageFrame = Named(new QGroupBox(this), "imageFrame");
    createStream(m_primary, "primary");
    m_enable = Named(new QCheckBox(this), "secondaryEnable");
    createStream(m_secondary, "secondary");
    m_powerLineLabel = Named(new QLabel(this), "powerLineLabel");
    m_powerLine = Named(new QComboBox(this), "powerLineList");
    m_outdoorLabel = Named(new QLabel(this), "outdoorLabel");
    m_outdoor = Named(new QComboBox(this), "outdoorList");
    m_localDisplayLabel = Named(new QLabel(this), "localDisplayLabel");
    m_localDisplay = Named(new QComboBox(this), "localDisplayList");
    m_save = Named(new QPushButton(this), "saveButton");
    using orv::device::Capability;
    for (const StreamControls* stream : {&m_primary, &m_secondary}) {
        for (QWidget* field :
             std::initializer_list<QWidget*>{stream->codec, stream->size, stream->rate,
                                             stream->bitRate, stream->control, stream->iFrame}) {
            NeedsCapability(field, Capability::Streams);
        }
    }
    NeedsCapability(m_enable, Capability::Streams);
    for (QWidget* field : {m_powerLine, m_outdoor, m_localDisplay}) {
        NeedsCapability(field, Capability::Image);
    }
    m_save->setAutoDefault(false);
    // Labels end where their fields begin.
    for (QLabel* label : findChildren<QLabel*>()) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    // Only the user's choices run the rules here; a shown camera runs them
    // itself once all its values are in place.
    connect(m_enable, &QCheckBox::clicked, this, [this] { applyEnableRule(); });
    connect(m_secondary.codec, &QComboBox::activated, this, [this] { applyCodecRule(); });
    connect(m_primary.size, &QComboBox::activated, this, [this] { applyPrimarySizeRule(); });
    connect(m_save, &QPushButton::clicked, this, &CVideoImageDlg::Save);
    for (QComboBox* list : findChildren<QComboBox*>()) {
        connect(list, &QComboBox::activated, this, [this, list] { m_setByHand.insert(list); });
    }
    for (QLineEdit* edit : findChildren<QLineEdit*>()) {
        connect(edit, &QLineEdit::textEdited, this, [this, edit] { m_setByHand.insert(edit); });
    }
    connect(m_enable, &QCheckBox::clicked, this, [this] { m_setByHand.insert(m_enable); });
}

void CVideoImageDlg::SetLanguageText() {
    m_primaryFrame->setTitle(LangText(L"60000", L"Primary Stream Settings"));
    m_secondaryFrame->setTitle(LangText(L"60001", L"Secondary Stream Settings"));
    m_imageFrame->setTitle(LangText(L"60002", L"Image"));
    for (StreamControls* stream : {&m_primary, &m_secondary}) {
        stream->codecLabel->setText(LangText(L"60003", L"Video Codec:"));
        stream->sizeLabel->setText(LangText(L"60004", L"Frame Size:"));
        stream->rateLabel->setText(LangText(L"60005", L"Maximum Frame Rate:"));
        stream->bitRateLabel->setText(LangText(L"60006", L"Bit Rate:"));
        stream->controlLabel->setText(LangText(L"60007", L"Bit Rate Control:"));
        stream->iFrameLabel->setText(LangText(L"60008", L"I-frame Interval:"));
    }
    m_powerLineLabel->setText(LangText(L"60009", L"Power Line Frequency:"));
    m_outdoorLabel->setText(LangText(L"60010", L"Outdoor/Indoor Mode:"));
    m_localDisplayLabel->setText(LangText(L"60011", L"Local Display Video:"));
    m_enable->setText(LangText(L"50006", L"Enable"));
    m_save->setText(LangText(L"40015", L"Save Parameters"));
}

void CVideoImageDlg::SetSaveEnabled(bool enabled) {
    m_save->setEnabled(enabled);
}

// ---- rules

int CVideoImageDlg::modelClass() const {
    return bs::ModelClass(m_keptModel);
}

int CVideoImageDlg::primarySize() const {
    return bs::PrimarySizeAt(modelClass(), m_primary.size->currentIndex());
}

void CVideoImageDlg::applyEnableRule() {
    const bool on = m_enable->isChecked();
    for (QWidget* field : std::initializer_list<QWidget*>{m_secondary.codec, m_secondary.size,
                                                          m_secondary.bitRate, m_secondary.control,
                                                          m_secondary.rate, m_secondary.iFrame}) {
        field->setEnabled(on);
    }
    if (m_secondaryFor3M) {
        m_secondary.codec->setCurrentIndex(0);
        m_secondary.codec->setEnabled(false);
    }
    applyCodecRule();
}

void CVideoImageDlg::applyCodecRule() {
    const bool on = m_enable->isChecked() && m_secondary.codec->currentIndex() != bs::kCodecMjpeg;
    m_secondary.bitRate->setEnabled(on);
    m_secondary.control->setEnabled(on);
}

void CVideoImageDlg::showNormalSecondarySizes(int position) {
    fill(m_secondary.size, bs::SecondarySizes(false));
    selectPosition(m_secondary.size, position);
    m_secondaryFor3M = false;
}

void CVideoImageDlg::applyPrimarySizeRule() {
    const int code = primarySize();
    if (!bs::SecondaryStreamAllowed(code)) {
        m_enable->setChecked(false);
        m_enable->setEnabled(false);
        applyEnableRule();
    } else {
        m_enable->setEnabled(true);
    }
    fill(m_primary.rate, bs::PrimaryFrameRates(code, m_keptFrequency));
    m_primary.rate->setCurrentIndex(0);
    if (code == bs::kSize3M) {
        if (!m_secondaryFor3M) {
            m_secondaryNormalPosition = m_secondary.size->currentIndex();
        }
        fill(m_secondary.size, bs::SecondarySizes(true));
        m_secondary.size->setCurrentIndex(0);
        m_secondaryFor3M = true;
        m_secondary.codec->setCurrentIndex(0);
        m_secondary.codec->setEnabled(false);
        applyCodecRule();
    } else if (m_secondaryFor3M) {
        // Leaving 3M gives the secondary stream its normal sizes back at
        // once, on the size it had before, and its codec back to the user.
        showNormalSecondarySizes(m_secondaryNormalPosition);
        applyEnableRule();
    }
}

// ---- showing a camera

void CVideoImageDlg::ShowImageSettings(const orv::device::ImageSettings& image) {
    m_shownImage = image;
    m_powerLine->setCurrentIndex(bs::PowerLinePosition(image.powerLineHz));
    selectPosition(m_outdoor, bs::OutdoorPosition(image.indoor));
    selectPosition(m_localDisplay, bs::LocalDisplayPosition(image.localDisplay));
}

void CVideoImageDlg::ShowSecondaryStream(const orv::device::StreamSettings& stream,
                                         int powerLineFrequency) {
    m_shownSecondary = stream;
    showNormalSecondarySizes(-1);
    fill(m_secondary.rate, bs::NormalFrameRates(powerLineFrequency));
    m_secondary.rate->setCurrentIndex(-1);

    selectPosition(m_secondary.codec, bs::CodecPosition(stream.codec));
    applyCodecRule();
    selectPosition(m_secondary.size, bs::SecondarySizePosition(bs::SizeOf(stream)));
    selectPosition(m_secondary.rate,
                   bs::EntryStartingWith(entriesOf(m_secondary.rate), stream.frameRate));
    // Without a matching entry the bit rate stays as it was.
    const int bitRate = bs::EntryStartingWith(entriesOf(m_secondary.bitRate), stream.bitRateKbps);
    if (bitRate >= 0) {
        m_secondary.bitRate->setCurrentIndex(bitRate);
    }
    selectPosition(m_secondary.control, bs::RateControlPosition(stream.rateControl));
    m_secondary.iFrame->setText(QString::number(stream.iFrameInterval));
    m_enable->setChecked(stream.enabled);
    applyEnableRule();
}

void CVideoImageDlg::ShowPrimaryStream(const orv::device::StreamSettings& stream,
                                       int powerLineFrequency, std::string_view model) {
    m_shownPrimary = stream;
    m_keptModel = std::string(model.substr(0, std::min(model.size(), kModelWidth)));
    m_keptFrequency = powerLineFrequency;
    const int cls = modelClass();

    fill(m_primary.size, bs::PrimarySizes(cls));
    fill(m_primary.bitRate, bs::PrimaryBitRates(cls));
    m_primary.bitRate->setCurrentIndex(-1);
    selectPosition(m_primary.size,
                   bs::PrimarySizePosition(cls, bs::PrimarySizeNumber(bs::SizeOf(stream))));
    applyPrimarySizeRule();

    const int rate = bs::EntryStartingWith(entriesOf(m_primary.rate), stream.frameRate);
    if (rate >= 0) {
        m_primary.rate->setCurrentIndex(rate);
    }
    selectPosition(m_primary.bitRate,
                   bs::EntryStartingWith(entriesOf(m_primary.bitRate), stream.bitRateKbps));
    selectPosition(m_primary.control, bs::RateControlPosition(stream.rateControl));
    m_primary.iFrame->setText(QString::number(stream.iFrameInterval));
}

void CVideoImageDlg::showStreams(const bs::DeviceSettings& settings, int powerLineFrequency) {
    const std::string model = settings.device.model.toStdString();
    if (settings.secondary) {
        ShowSecondaryStream(*settings.secondary, powerLineFrequency);
    }
    if (settings.primary) {
        ShowPrimaryStream(*settings.primary, powerLineFrequency, model);
    }
}

void CVideoImageDlg::noteStreamsOf(const bs::DeviceSettings& settings) {
    if (settings.primary && settings.secondary) {
        m_unreadCamera.reset();
    } else {
        m_unreadCamera = settings.device;
    }
}

void CVideoImageDlg::ShowSettings(const bs::DeviceSettings& settings) {
    noteStreamsOf(settings);
    m_onlyChanges = SendsOnlyChanges(settings);
    if (settings.image) {
        ShowImageSettings(*settings.image);
    }
    // Without the image settings the lists are built for neither 50 nor
    // 60 Hz mains.
    showStreams(settings, settings.image ? settings.image->powerLineHz : 0);
    rememberShown();
}

void CVideoImageDlg::ShowReferenceStreams(const bs::DeviceSettings& settings) {
    if (m_checkedMode) {
        noteStreamsOf(settings);
        showStreams(settings, 50);
        rememberShown();
    }
}

void CVideoImageDlg::SetCheckedMode(bool on) {
    m_checkedMode = on;
    if (!on) {
        m_pendingChecked.clear();
    }
}

void CVideoImageDlg::CheckedSetChanged(const std::vector<orv::device::DeviceInfo>& checked) {
    // Several changes within one user action (a click, Select All) make one
    // read, of the set as it stands last.
    m_pendingChecked = checked;
    if (!m_referenceReadQueued) {
        m_referenceReadQueued = true;
        QTimer::singleShot(0, this, [this] { readReference(); });
    }
}

void CVideoImageDlg::readReference() {
    m_referenceReadQueued = false;
    const std::vector<orv::device::DeviceInfo> checked = std::move(m_pendingChecked);
    m_pendingChecked.clear();
    const int reference = bs::ReferenceDevice(checked);
    if (!m_checkedMode || reference < 0) {
        return;
    }
    // Until its streams are back, what the lists show is not this set's.
    m_unreadCamera = checked[static_cast<size_t>(reference)];
    emit referenceReadWanted(*m_unreadCamera);
}

// ---- saving

bs::VideoImageForm CVideoImageDlg::form() const {
    bs::VideoImageForm f;
    auto stream = [](const StreamControls& controls) {
        bs::StreamForm s;
        s.codec = selection(controls.codec);
        s.frameSize = selection(controls.size);
        s.frameRate = selectedNumber(controls.rate);
        s.bitRate = selectedNumber(controls.bitRate);
        s.bitRateControl = selection(controls.control);
        s.iFrame = controls.iFrame->text().toStdWString();
        return s;
    };
    f.primary = stream(m_primary);
    f.secondary = stream(m_secondary);
    f.secondary.enabled = m_enable->isChecked();
    f.powerLine = selection(m_powerLine);
    f.outdoor = selection(m_outdoor);
    f.localDisplay = selection(m_localDisplay);
    f.keptModel = m_keptModel;
    f.keptPowerLineFrequency = m_keptFrequency;
    f.shownPrimary = m_shownPrimary;
    f.shownSecondary = m_shownSecondary;
    f.shownImage = m_shownImage;
    return f;
}

void CVideoImageDlg::Save() {
    if (m_unreadCamera) {
        // The lists still show another camera's streams; sending them would
        // give every target that camera's settings.
        const orv::device::DeviceInfo& camera = *m_unreadCamera;
        orv::ui::ShowMessage(this,
                             LangText(kStreamsUnread.id, kStreamsUnread.defaultText)
                                 .arg(QLatin1Char('[') + QString::fromStdString(camera.MacText()) +
                                      QLatin1String("] ") + camera.AddressText()));
        return;
    }
    const bs::VideoImageParams params = bs::BuildVideoImageParams(form());
    if (params.error) {
        orv::ui::ShowMessage(this, LangText(params.error->id, params.error->defaultText));
        return;
    }
    if (m_operations.CheckedMode() || m_onlyChanges) {
        saveChanges(params);
        return;
    }
    m_operations.Apply(
        "Batch Set Video/Image",
        {*bs::CBatchOperations::SetImaging(&params.image),
         *bs::CBatchOperations::SetVideoStream(orv::device::StreamKind::Primary, &params.primary),
         *bs::CBatchOperations::SetVideoStream(orv::device::StreamKind::Secondary,
                                               &params.secondary)});
}

void CVideoImageDlg::saveChanges(const bs::VideoImageParams& params) {
    const auto byHand = [this](std::initializer_list<const QWidget*> widgets) {
        return std::any_of(widgets.begin(), widgets.end(),
                           [this](const QWidget* w) { return m_setByHand.contains(w); });
    };
    const auto streamByHand = [&](const StreamControls& c, bool withEnable) {
        bs::StreamFields f;
        f.enabled = withEnable && byHand({m_enable});
        f.codec = byHand({c.codec});
        f.frameSize = byHand({c.size});
        f.frameRate = byHand({c.rate});
        f.bitRate = byHand({c.bitRate});
        f.bitRateControl = byHand({c.control});
        f.iFrameInterval = byHand({c.iFrame});
        return f;
    };
    bs::ImagingFields imaging{byHand({m_powerLine}), byHand({m_localDisplay}), byHand({m_outdoor})};
    bs::StreamFields primary = streamByHand(m_primary, false);
    bs::StreamFields secondary = streamByHand(m_secondary, true);
    if (m_shownParams) {
        imaging = bs::ChangedImagingFields(m_shownParams->image, params.image, imaging);
        primary = bs::ChangedStreamFields(m_shownParams->primary, params.primary, primary);
        secondary = bs::ChangedStreamFields(m_shownParams->secondary, params.secondary, secondary);
    } else {
        imaging = {true, true, true};
        primary = secondary = {true, true, true, true, true, true, true};
    }
    std::vector<bs::Step> steps;
    QStringList what;
    if (imaging.Any()) {
        steps.push_back(bs::CBatchOperations::ChangeImaging(params.image, imaging));
        what << m_imageFrame->title();
    }
    if (primary.Any()) {
        steps.push_back(bs::CBatchOperations::ChangeVideoStream(orv::device::StreamKind::Primary,
                                                                params.primary, primary));
        what << m_primaryFrame->title();
    }
    if (secondary.Any()) {
        steps.push_back(bs::CBatchOperations::ChangeVideoStream(orv::device::StreamKind::Secondary,
                                                                params.secondary, secondary));
        what << m_secondaryFrame->title();
    }
    if (m_operations.ApplyChanges("Batch Set Video/Image", std::move(steps),
                                  what.join(QStringLiteral(", ")).toStdWString()) != 0) {
        rememberShown();
    }
}

// ---- layout

void CVideoImageDlg::layoutControls() {
    using orv::ui::AddFormRow;
    using orv::ui::Field;
    // Each frame's labels end at its middle (a quarter and three quarters
    // of the page) and break onto a second line where they are long; the
    // lists take the rest of the frame.
    const auto stream = [](QGroupBox* frame, const StreamControls& s, QWidget* top) {
        QGridLayout* form = orv::ui::NewCentredForm();
        form->setVerticalSpacing(6);
        if (top != nullptr) {
            AddFormRow(form, nullptr, top);
        } else {
            // The rows of both streams on the same lines: an empty first row
            // as tall as the Enable row and the space below it.
            form->addItem(new QSpacerItem(0, 0), 0, 1);
        }
        for (auto [label, field] :
             std::initializer_list<std::pair<QLabel*, QWidget*>>{{s.codecLabel, s.codec},
                                                                 {s.sizeLabel, s.size},
                                                                 {s.rateLabel, s.rate},
                                                                 {s.bitRateLabel, s.bitRate},
                                                                 {s.controlLabel, s.control},
                                                                 {s.iFrameLabel, s.iFrame}}) {
            AddFormRow(form, label, field, Field::Fills);
        }
        form->setRowStretch(form->rowCount(), 1);
        frame->setLayout(form);
        return form;
    };
    QGridLayout* primary = stream(m_primaryFrame, m_primary, nullptr);
    stream(m_secondaryFrame, m_secondary, m_enable);
    primary->setRowMinimumHeight(0, m_enable->sizeHint().height() + primary->verticalSpacing());
    auto* streams = new QHBoxLayout;
    streams->setSpacing(4);
    streams->addWidget(m_primaryFrame, 1);
    streams->addWidget(m_secondaryFrame, 1);

    auto* image = new QGridLayout(m_imageFrame);
    image->setVerticalSpacing(8);
    for (int column = 0; column < 4; ++column) {
        image->setColumnStretch(column, 1);
    }
    const auto imageRow = [image](QLabel* label, QWidget* field, int row, int column) {
        label->setBuddy(field);
        image->addWidget(label, row, column);
        image->addWidget(field, row, column + 1);
    };
    imageRow(m_powerLineLabel, m_powerLine, 0, 0);
    imageRow(m_outdoorLabel, m_outdoor, 1, 0);
    imageRow(m_localDisplayLabel, m_localDisplay, 0, 2);

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(2, 2, 2, 2);
    page->addLayout(streams);
    page->addWidget(m_imageFrame);
    page->addLayout(orv::ui::CentredRow({m_save}));
    page->addStretch(1);
}
