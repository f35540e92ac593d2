#include "PinFile.h"

#include "support/file/RegularFile.h"
#include "support/file/UniqueFd.h"
#include "support/log/LogFile.h"
#include "support/settings/SettingsStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <system_error>

namespace orv {
namespace {

namespace fs = std::filesystem;
using device::MacAddress;
using device::TrustedKey;

// A key trusted before this program existed, or after the clock's range
// ends (the system clock counts nanoseconds in 64 bits, to 2262), is no
// date a camera was met.
const QDateTime kEarliest(QDate(2000, 1, 1), QTime(0, 0), Qt::UTC);
const QDateTime kLatest(QDate(2200, 1, 1), QTime(0, 0), Qt::UTC);

// Thousands of cameras take a few hundred KiB.
constexpr std::size_t kMaxPinFileBytes = 16 * 1024 * 1024;

bool validPin(const QString& pin) {
    // "sha256//" and 44 characters of base64 (32 bytes).
    static const QString prefix = QStringLiteral("sha256//");
    if (!pin.startsWith(prefix) || pin.size() != prefix.size() + 44 ||
        !pin.endsWith(QLatin1Char('='))) {
        return false;
    }
    const QByteArray digest = QByteArray::fromBase64(pin.mid(prefix.size()).toLatin1(),
                                                     QByteArray::AbortOnBase64DecodingErrors);
    return digest.size() == 32;
}

QString timeText(std::chrono::system_clock::time_point when) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(when.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC).toString(Qt::ISODate);
}

// The lock that keeps two processes' read-merge-write apart.
class FileLock {
public:
    explicit FileLock(const fs::path& file)
        : m_fd(::open((file.string() + ".lock").c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC,
                      0600)) {
        if (m_fd.get() >= 0) {
            ::flock(m_fd.get(), LOCK_EX);
        }
    }

private:
    UniqueFd m_fd; // closing it releases the lock
};

} // namespace

PinText ReadPins(std::string_view text) {
    PinText result;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        !document.object().value(QStringLiteral("pins")).isArray()) {
        result.readable = false;
        return result;
    }
    for (const QJsonValue& value : document.object().value(QStringLiteral("pins")).toArray()) {
        const QJsonObject entry = value.toObject();
        const auto mac =
            device::ReadMac(entry.value(QStringLiteral("mac")).toString().toStdString());
        const QString pin = entry.value(QStringLiteral("pin")).toString();
        const QJsonValue port = entry.value(QStringLiteral("tlsPort"));
        const QDateTime since =
            QDateTime::fromString(entry.value(QStringLiteral("since")).toString(), Qt::ISODate);
        const double portNumber = port.toDouble(-1);
        if (!mac || !validPin(pin) || !port.isDouble() || portNumber < 1 || portNumber > 65535 ||
            portNumber != static_cast<int>(portNumber) || !since.isValid() || since < kEarliest ||
            since > kLatest) {
            ++result.skipped;
            continue;
        }
        result.pins[*mac] = TrustedKey{
            pin.toStdString(), static_cast<int>(portNumber),
            std::chrono::system_clock::time_point(std::chrono::seconds(since.toSecsSinceEpoch()))};
    }
    return result;
}

std::string WritePins(const PinMap& pins) {
    QJsonArray entries;
    for (const auto& [mac, key] : pins) {
        entries.append(QJsonObject{
            {QStringLiteral("mac"), QString::fromStdString(device::MacText(mac))},
            {QStringLiteral("pin"), QString::fromStdString(key.pin)},
            {QStringLiteral("tlsPort"), key.tlsPort},
            {QStringLiteral("since"), timeText(key.since)},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("pins"), entries}})
        .toJson(QJsonDocument::Indented)
        .toStdString();
}

fs::path PinFilePath() {
    const fs::path settings = SettingsFilePath();
    return settings.empty() ? fs::path() : settings.parent_path() / "pins.json";
}

CPinFile::CPinFile(fs::path path) : m_path(std::move(path)) {
    m_pins = load();
}

PinMap CPinFile::load() const {
    if (m_path.empty()) {
        return {};
    }
    const FileContent file = ReadRegularFile(m_path, kMaxPinFileBytes, Links::Refuse);
    if (file.error == FileError::Missing) {
        return {};
    }
    PinText text;
    if (file.error == FileError::None) {
        text = ReadPins(file.bytes);
    }
    if (file.error != FileError::None || !text.readable) {
        // Starting again with no pins would trust any key a camera shows:
        // the file is set aside for a person to look at, and logged.
        const fs::path aside = m_path.string() + ".unreadable";
        std::error_code ec;
        fs::rename(m_path, aside, ec);
        WriteLog(1, "Pin file %s cannot be read (%s): moved to %s; cameras are trusted anew.",
                 m_path.c_str(),
                 file.error != FileError::None ? std::string(Describe(file.error)).c_str()
                                               : "not a pin list",
                 aside.c_str());
        return {};
    }
    if (text.skipped > 0) {
        WriteLog(1, "Pin file %s: %d entries cannot be used.", m_path.c_str(), text.skipped);
    }
    return std::move(text.pins);
}

std::optional<TrustedKey> CPinFile::Find(const MacAddress& mac) const {
    std::lock_guard lock(m_lock);
    const auto it = m_pins.find(mac);
    return it == m_pins.end() ? std::nullopt : std::optional<TrustedKey>(it->second);
}

void CPinFile::Keep(const MacAddress& mac, const TrustedKey& key) {
    std::unique_lock lock(m_lock);
    m_pins[mac] = key;
    m_changes[mac] = key;
    save(lock);
}

bool CPinFile::Forget(const MacAddress& mac) {
    std::unique_lock lock(m_lock);
    if (m_pins.erase(mac) == 0) {
        return false;
    }
    m_changes[mac] = std::nullopt;
    save(lock);
    return true;
}

void CPinFile::save(std::unique_lock<std::mutex>& lock) {
    if (m_path.empty() || m_writing) {
        return; // the thread writing now takes this change along
    }
    m_writing = true;
    while (!m_changes.empty()) {
        const auto changes = std::exchange(m_changes, {});
        lock.unlock();
        PinMap merged;
        FileError written = FileError::None;
        {
            std::error_code ec;
            fs::create_directories(m_path.parent_path(), ec);
            const FileLock fileLock(m_path);
            merged = load();
            for (const auto& [mac, key] : changes) {
                if (key) {
                    merged[mac] = *key;
                } else {
                    merged.erase(mac);
                }
            }
            written = WriteRegularFile(m_path, WritePins(merged));
        }
        if (written != FileError::None) {
            WriteLog(1, "Pin file %s cannot be written: %s.", m_path.c_str(),
                     std::string(Describe(written)).c_str());
        }
        lock.lock();
        // The other process's pins join this one's; changes made meanwhile
        // stay on top.
        for (const auto& [mac, key] : m_changes) {
            if (key) {
                merged[mac] = *key;
            } else {
                merged.erase(mac);
            }
        }
        m_pins = std::move(merged);
    }
    m_writing = false;
}

} // namespace orv
