#include "VideoImageDlg.h"

#include "pages/common/CapabilityGate.h"

#include "operations/batchset/BatchOperations.h"
#include "operations/common/ResultLines.h"
#include "ui/DialogFont.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>

#include <algorithm>
#include <cstring>

using orv::ui::LangText;
namespace bs = orv::batchset;

namespace {

constexpr int kStreamFrameHeight = 248;
constexpr int kImageFrameTop = 260;
constexpr int kImageFrameMaxHeight = 140;
constexpr int kRowHeight = 22;
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
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    // Frames first, so the fields drawn over them stay on top.
    m_primaryFrame = named(new QGroupBox(this), "primaryFrame");
    m_secondaryFrame = named(new QGroupBox(this), "secondaryFrame");
    m_imageFrame = named(new QGroupBox(this), "imageFrame");
    createStream(m_primary, "primary");
    m_enable = named(new QCheckBox(this), "secondaryEnable");
    createStream(m_secondary, "secondary");
    m_powerLineLabel = named(new QLabel(this), "powerLineLabel");
    m_powerLine = named(new QComboBox(this), "powerLineList");
    m_outdoorLabel = named(new QLabel(this), "outdoorLabel");
    m_outdoor = named(new QComboBox(this), "outdoorList");
    m_localDisplayLabel = named(new QLabel(this), "localDisplayLabel");
    m_localDisplay = named(new QComboBox(this), "localDisplayList");
    m_save = named(new QPushButton(this), "saveButton");
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
        label->setWordWrap(true);
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

void CVideoImageDlg::resizeEvent(QResizeEvent* event) {
    CBatchSubPage::resizeEvent(event);
    layoutControls();
}

void CVideoImageDlg::layoutControls() {
    const int w = width();
    const int h = height();
    const int half = w / 2;
    const int quarter = w / 4;
    const int threeQuarters = w * 3 / 4;
    m_primaryFrame->setGeometry(2, 2, half - 4, kStreamFrameHeight);
    m_secondaryFrame->setGeometry(half + 2, 2, w - half - 4, kStreamFrameHeight);

    // Each label ends at its column line, its field begins just after it.
    // The line sits at a quarter (three quarters) of the width. On a narrow
    // page the fields keep room for their longest entry and a long label
    // breaks onto a second line instead.
    auto columnLine = [](std::initializer_list<QWidget*> fields, int left, int line, int right) {
        int fieldNeed = 0;
        for (QWidget* field : fields) {
            fieldNeed = std::max(fieldNeed, field->sizeHint().width());
        }
        return std::max(left + 60, std::min(line, right - fieldNeed - 4));
    };
    auto row = [](QLabel* label, QWidget* field, int left, int line, int right, int y) {
        label->setGeometry(left, y - 4, line - left - 4, kRowHeight + 8);
        field->setGeometry(line + 4, y, std::max(right - line - 4, 40), kRowHeight);
    };
    auto stream = [&](const StreamControls& s, int left, int line, int right) {
        line = columnLine({s.size, s.bitRate}, left, line, right);
        int y = 56;
        for (auto [label, field] :
             std::initializer_list<std::pair<QLabel*, QWidget*>>{{s.codecLabel, s.codec},
                                                                 {s.sizeLabel, s.size},
                                                                 {s.rateLabel, s.rate},
                                                                 {s.bitRateLabel, s.bitRate},
                                                                 {s.controlLabel, s.control},
                                                                 {s.iFrameLabel, s.iFrame}}) {
            row(label, field, left, line, right, y);
            y += 30;
        }
        return line;
    };
    stream(m_primary, 6, quarter, half - 4);
    const int secondaryLine = stream(m_secondary, half + 6, threeQuarters, w - 6);
    m_enable->setGeometry(
        secondaryLine + 4, 26,
        std::max(std::min(w - secondaryLine - 12, orv::ui::WidthForText(m_enable, 40)), 40),
        kRowHeight);

    const int imageHeight = std::min(h - 240, kImageFrameMaxHeight);
    m_imageFrame->setGeometry(2, kImageFrameTop, w - 4, imageHeight);
    const int imageLeftLine = columnLine({m_powerLine, m_outdoor}, 6, quarter, half - 4);
    const int imageRightLine = columnLine({m_localDisplay}, half + 6, threeQuarters, w - 6);
    row(m_powerLineLabel, m_powerLine, 6, imageLeftLine, half - 4, kImageFrameTop + 28);
    row(m_outdoorLabel, m_outdoor, 6, imageLeftLine, half - 4, kImageFrameTop + 60);
    row(m_localDisplayLabel, m_localDisplay, half + 6, imageRightLine, w - 6, kImageFrameTop + 28);
    const int saveWidth = orv::ui::WidthForText(m_save, 120);
    m_save->setGeometry((w - saveWidth) / 2, kImageFrameTop + imageHeight + 10, saveWidth, 24);
}
