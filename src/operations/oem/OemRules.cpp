#include "OemRules.h"

#include "log/LogFile.h"
#include "operations/common/ResultLines.h"
#include "text/FieldText.h"
#include "text/TextConv.h"

#include <QFileInfo>
#include <QString>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace orv::oem {
namespace {

constexpr int kPathBytes = 260;
constexpr size_t kImageFieldReadChars = 5200;

std::wstring trimmed(const std::wstring& text) {
    return QString::fromStdWString(text).trimmed().toStdWString();
}

template <size_t N>
bool convert(const std::wstring& text, char (&buffer)[N]) {
    return PutRecordText(buffer, text, kCpAnsi);
}

} // namespace

int ReadSoftVersion(const char* text) {
    return text == nullptr ? 0 : std::atoi(text);
}

CheckedOem CheckOemForm(const OemForm& form) {
    CheckedOem checked;
    OemUpload upload;
    const auto fail = [&checked](const Message& error, std::optional<Message> field = {}) {
        checked.error = error;
        checked.field = field;
        return checked;
    };
    const std::wstring user = trimmed(form.user);
    if (user.empty()) {
        return fail(kUserEmpty);
    }
    // What a login carries: 31 bytes of user, 15 of password, escaped.
    char userField[32] = {};
    if (!convert(user, userField)) {
        return fail(kTooLongForCamera, kUserLabel);
    }
    upload.login.user = QString::fromStdWString(user);
    const std::wstring password = trimmed(form.password);
    if (password.empty()) {
        return fail(kPasswordEmpty);
    }
    char passwordField[16] = {};
    if (!convert(password, passwordField)) {
        return fail(kTooLongForCamera, kPasswordLabel);
    }
    upload.login.password = QString::fromStdWString(password);
    const std::wstring company = trimmed(form.company);
    if (company.empty()) {
        return fail(kCompanyEmpty);
    }
    if (!convert(company, upload.company)) {
        return fail(kTooLongForCamera, kCompanyLabel);
    }
    char version[8] = {};
    if (!convert(trimmed(form.version), version)) {
        return fail(kTooLongForCamera, kVersionLabel);
    }
    upload.softVersion = ReadSoftVersion(version);
    const std::wstring images = trimmed(form.images);
    if (images.empty()) {
        return fail(kImageEmpty);
    }
    if (!convert(form.website, upload.website)) {
        return fail(kTooLongForCamera, kWebsiteLabel);
    }
    if (!convert(form.model, upload.model)) {
        return fail(kTooLongForCamera, kModelLabel);
    }
    for (const std::wstring& piece : SplitImageField(images)) {
        char path[kPathBytes] = {};
        if (!convert(piece, path)) {
            return fail(kTooLongForCamera, kImageLabel);
        }
        upload.images.push_back(QString::fromStdWString(piece));
    }
    checked.upload = std::move(upload);
    return checked;
}

std::string OemFileContent(const OemUpload& upload) {
    char content[kMaxOemFileBytes + 1] = {};
    std::snprintf(content, sizeof content,
                  "[oemsec]\r\ncompany=%s\r\nmanufacture=%s\r\nwebsite=%s\r\nmodel=%s\r\n"
                  "softversion=%d\r\n",
                  upload.company, upload.company, upload.website, upload.model, upload.softVersion);
    return content;
}

std::string OemFilePath(const std::string& dir) {
    char path[kPathBytes] = {};
    std::snprintf(path, sizeof path, "%s%c%s", dir.c_str(), kPathSep, kOemFileName);
    return path;
}

bool WriteOemFile(const std::string& path, const std::string& content) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        WriteLog(1, "Create File:%s Failed!!!!", path.c_str());
        return false;
    }
    const bool whole = std::fwrite(content.data(), 1, content.size(), file) == content.size();
    return std::fclose(file) == 0 && whole;
}

std::wstring JoinImageSelection(const std::vector<std::wstring>& chosen) {
    QStringList accepted;
    for (const std::wstring& path : chosen) {
        if (accepted.size() == kMaxImages) {
            break;
        }
        const QFileInfo info(QString::fromStdWString(path));
        if (!info.isFile() || !info.isReadable() ||
            static_cast<std::uint64_t>(info.size()) > kMaxImageBytes) {
            continue;
        }
        accepted << info.filePath();
    }
    return accepted.join(QLatin1Char('*')).left(kImageFieldChars).toStdWString();
}

std::vector<std::wstring> SplitImageField(const std::wstring& field) {
    std::vector<std::wstring> pieces;
    const std::wstring text = field.substr(0, kImageFieldReadChars);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'*', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

jobs::JobSpec
UploadOemJob(const std::vector<device::DeviceInfo>& targets, const OemUpload& upload,
             const QString& oemFilePath,
             std::function<void(std::shared_ptr<device::IDeviceSession>)> queueReboot) {
    jobs::JobSpec order;
    order.name = "OEM";
    order.targets = targets;
    order.credentials = upload.login;
    order.operations = {"Upload OEM Files"};
    order.work = [images = upload.images, oemFilePath, queueReboot](jobs::CameraRun& run) {
        if (!run.Can(device::Capability::Oem, "Upload OEM Files")) {
            return;
        }
        const auto send = [&run](const QString& path) {
            return run.Do(
                [&](device::IDeviceSession& s) { return s.UploadOem(path, run.CancelCheck()); });
        };
        if (!run.Report("Upload OEM Files", send(oemFilePath))) {
            return;
        }
        for (const QString& image : images) {
            // An image the camera refuses is not reported: the information
            // file, which the result line stands for, has arrived.
            (void)send(image);
        }
        if (queueReboot) {
            queueReboot(run.Session());
        }
    };
    return order;
}

} // namespace orv::oem
