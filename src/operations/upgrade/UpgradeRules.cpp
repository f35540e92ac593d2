#include "UpgradeRules.h"

#include "log/LogFile.h"
#include "operations/common/ResultLines.h"
#include "text/TextConv.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unordered_map>

namespace orv::upgrade {
namespace {

constexpr std::uint64_t kMiB = 1048576;
constexpr int kPathBytes = 260;

char at(std::string_view text, size_t index) {
    return index < text.size() ? text[index] : '\0';
}

// Addresses compare without regard to letter case.
std::string addressKey(const std::string& ip) {
    std::string key = ip;
    for (char& c : key) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

// What a checked set must share to take one image.
std::string imageKey(const ListRow& row) {
    if (row.makerImage) {
        return std::string("maker ") + at(row.version, 0) + at(row.version, 1);
    }
    return "model " + row.model;
}

std::string escaped(const std::wstring& text, int size) {
    std::vector<char> buffer(static_cast<size_t>(size), '\0');
    WideToMulti(kCpAnsi, text.c_str(), buffer.data(), size, true);
    return std::string(buffer.data());
}

} // namespace

bool FirmwareSizeAccepted(std::uint64_t size) {
    return size / kMiB <= 100;
}

int ModelFamily(std::string_view version) {
    const std::string_view head = version.substr(0, 2);
    for (int family = 1; family < static_cast<int>(kFamilyEntries.size()); ++family) {
        if (head.size() == 2 && std::string_view(kFamilyEntries[family]).substr(0, 2) == head) {
            return family;
        }
    }
    return 0;
}

ListRow ListRowOf(const device::DeviceInfo& camera, bool checked) {
    const ImageTarget target = ImageTargetOf(camera);
    return {camera.AddressText().toStdString(), ToAnsi(camera.firmware.toStdWString()), checked,
            target.makerImage, camera.manufacturer.toStdString() + " " + target.model};
}

std::vector<ListRow> RowsOf(const std::vector<device::DeviceInfo>& devices,
                            const std::vector<bool>& checks) {
    std::vector<ListRow> rows;
    rows.reserve(devices.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        rows.push_back(ListRowOf(devices[i], i < checks.size() && checks[i]));
    }
    return rows;
}

std::vector<bool> ApplyFamilyFilter(int entry, bool selectAll, const std::vector<ListRow>& rows) {
    std::vector<bool> checks;
    checks.reserve(rows.size());
    for (const ListRow& row : rows) {
        if (entry == 0) {
            checks.push_back(selectAll || row.checked);
        } else {
            checks.push_back(row.checked && ModelFamily(row.version) == entry);
        }
    }
    return checks;
}

bool HasAddressConflict(const std::vector<ListRow>& rows, int row) {
    if (row < 0 || row >= static_cast<int>(rows.size())) {
        return false;
    }
    const std::string key = addressKey(rows[row].ip);
    for (int other = 0; other < static_cast<int>(rows.size()); ++other) {
        if (other != row && addressKey(rows[other].ip) == key) {
            return true;
        }
    }
    return false;
}

SetVerdict ValidateCheckedSet(const std::vector<ListRow>& rows, bool withModelTest) {
    // One count per address keeps a large list's check linear.
    std::unordered_map<std::string, int> uses;
    for (const ListRow& row : rows) {
        ++uses[addressKey(row.ip)];
    }
    for (const ListRow& row : rows) {
        if (row.checked && uses[addressKey(row.ip)] > 1) {
            return SetVerdict::AddressConflict;
        }
    }
    if (!withModelTest) {
        return SetVerdict::Valid;
    }
    const ListRow* first = nullptr;
    for (const ListRow& row : rows) {
        if (!row.checked) {
            continue;
        }
        if (first == nullptr) {
            first = &row;
        } else if (imageKey(row) != imageKey(*first)) {
            return SetVerdict::ModelMismatch;
        }
    }
    return SetVerdict::Valid;
}

NameCheck CheckFirmwareName(std::string_view fileName, std::string_view model) {
    const size_t found = fileName.find(kImagePrefix);
    if (found == std::string_view::npos) {
        return {};
    }
    NameCheck check{NameVerdict::Accepted, std::string(fileName.substr(found))};
    const size_t platformAt = found + kImagePrefix.size();
    const char platform = at(fileName, platformAt);
    const char cmos = at(fileName, platformAt + 1);
    if (static_cast<char>(platform + 1) != at(model, 4)) {
        check.verdict = NameVerdict::PlatformDiffers;
        return check;
    }
    static constexpr char kSensorOf[][2] = {{'1', '6'}, {'2', '3'}, {'3', '4'}, {'4', '9'}};
    for (const auto& rule : kSensorOf) {
        if (cmos == rule[0] && at(model, 5) != rule[1]) {
            check.verdict = NameVerdict::CmosDiffers;
            return check;
        }
    }
    return check;
}

std::string ImageModel(std::string_view fileName) {
    std::string pattern = "??????";
    const size_t found = fileName.find(kImagePrefix);
    if (found == std::string_view::npos) {
        return pattern;
    }
    const size_t platformAt = found + kImagePrefix.size();
    pattern[4] = static_cast<char>(at(fileName, platformAt) + 1);
    static constexpr char kSensorOf[][2] = {{'1', '6'}, {'2', '3'}, {'3', '4'}, {'4', '9'}};
    for (const auto& rule : kSensorOf) {
        if (at(fileName, platformAt + 1) == rule[0]) {
            pattern[5] = rule[1];
        }
    }
    return pattern;
}

ImageTarget ImageTargetOf(const device::DeviceInfo& camera) {
    return {ToAnsi(camera.model.toStdWString()), camera.Speaks(device::Protocol::Maker)};
}

UpgradeCheck CheckUpgrade(const std::wstring& pathField,
                          const std::optional<ImageTarget>& reference) {
    UpgradeCheck check;
    const QString path = QString::fromStdWString(pathField).trimmed();
    if (path.isEmpty()) {
        check.stop = UpgradeStop::EmptyPath;
        check.message = kSelectFirmware;
        return check;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        check.stop = UpgradeStop::Unreadable;
        return check;
    }
    if (file.size() == 0) {
        check.stop = UpgradeStop::EmptyFile;
        return check;
    }
    const std::string name = escaped(QFileInfo(path).fileName().toStdWString(), kPathBytes);
    file.close();

    const auto nameCheck = [&](const std::string& model) {
        return CheckFirmwareName(name, model.substr(0, 31));
    };
    const bool makerRules = !reference || reference->makerImage;
    const bool makerName = nameCheck(std::string()).verdict != NameVerdict::NoPrefix;
    if (makerRules && !makerName) {
        WriteLog(1, "Fireware(%s) name is invalid.", name.c_str());
        check.stop = UpgradeStop::NoPrefix;
        return check;
    }
    if (!reference) {
        check.stop = UpgradeStop::NoDevice;
        check.message = kSelectOneDevice;
        return check;
    }
    const std::string model = reference->model.substr(0, 31);
    if (model.empty()) {
        check.stop = UpgradeStop::EmptyModel;
        return check;
    }
    if (!makerRules) {
        if (makerName) {
            WriteLog(1, "Fireware(%s) is for this maker's cameras, not %s.", name.c_str(),
                     model.c_str());
            check.stop = UpgradeStop::MakerImage;
            check.message = kModelUnmatched;
            return check;
        }
        check.path = path;
        return check;
    }
    const NameCheck verdict = nameCheck(model);
    if (verdict.verdict == NameVerdict::PlatformDiffers) {
        WriteLog(1, "Platform is different.");
        check.stop = UpgradeStop::PlatformDiffers;
        check.message = kModelUnmatched;
        return check;
    }
    if (verdict.verdict == NameVerdict::CmosDiffers) {
        WriteLog(1, "CMOS is different.(%s) (%s)", verdict.fromPrefix.c_str(), model.c_str());
        check.stop = UpgradeStop::CmosDiffers;
        check.message = kModelUnmatched;
        return check;
    }
    check.path = path;
    return check;
}

std::vector<std::size_t> RolloutWaves(std::size_t cameras, int sharePercent) {
    if (sharePercent <= 0 || cameras <= 1) {
        return {};
    }
    const std::size_t others = cameras - 1;
    // Rounded up: a share of a few cameras is at least one of them.
    const std::size_t share =
        (others * static_cast<std::size_t>(std::min(sharePercent, 100)) + 99) / 100;
    return {1, std::max<std::size_t>(share, 1)};
}

namespace {

// After the image was taken: waits until the camera, rebooted, answers
// again, and reads the version it runs then (the session keeps it as the
// upgrade's value after). A camera that never stopped answering is back
// once its version differs from the one it had. False when it was not back
// within `limit`; true also when the job was cancelled meanwhile.
bool waitUntilBack(jobs::CameraRun& run, std::chrono::seconds limit) {
    const std::shared_ptr<device::IDeviceSession> session = run.Session();
    if (!session) {
        return true;
    }
    constexpr std::chrono::milliseconds kPollEvery{200};
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const QString before = run.Device().firmware;
    bool wentDown = false;
    while (!run.Cancelled() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPollEvery);
        const device::Result<QString> version = session->GetFirmwareVersion();
        if (!version) {
            wentDown = true;
        } else if (wentDown || version.Value() != before) {
            return true;
        }
    }
    return run.Cancelled();
}

} // namespace

jobs::JobSpec UpgradeJob(const std::vector<device::DeviceInfo>& targets,
                         const device::Credentials& login, const QString& path, Rollout rollout) {
    jobs::JobSpec order;
    order.name = "Upgrade";
    order.targets = targets;
    order.credentials = login;
    order.operations = {"Upgrade"};
    order.waves = RolloutWaves(targets.size(), rollout.sharePercent);
    order.stopAfterFailures = rollout.stopAfter;
    // The name as the page checked it against the reference camera.
    const std::string fileName = escaped(QFileInfo(path).fileName().toStdWString(), kPathBytes);
    order.work = [path, fileName, backWithin = rollout.backWithin](jobs::CameraRun& run) {
        // The page checked the image against one camera; every other camera
        // is checked against it here, before its login, so a camera the
        // image does not fit receives no byte of it.
        if (!run.Can(device::Capability::Firmware, "Upgrade")) {
            return;
        }
        const std::string model = run.Device().model.toStdString();
        const bool fits = run.Device().Speaks(device::Protocol::Maker)
                              ? CheckFirmwareName(fileName, model).verdict == NameVerdict::Accepted
                              : fileName.find(kImagePrefix) == std::string::npos;
        if (!fits) {
            run.ReportFailure("Upgrade", jobs::Reason::ModelMismatch,
                              "the image is for model " + ImageModel(fileName) +
                                  ", the camera is " + (model.empty() ? "?" : model));
            return;
        }
        const device::Status sent = run.Do(
            [&](device::IDeviceSession& s) { return s.UpdateFirmware(path, run.CancelCheck()); });
        if (sent && !waitUntilBack(run, backWithin)) {
            run.ReportFailure("Upgrade", jobs::Reason::NotBack, std::to_string(backWithin.count()));
            return;
        }
        run.Report("Upgrade", sent);
    };
    return order;
}

} // namespace orv::upgrade
