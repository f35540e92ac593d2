#include "OemRules.h"

#include "log/LogFile.h"
#include "operations/common/ResultLines.h"
#include "protocols/qv/RecordText.h"
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
    if (!convert(user, upload.user)) {
        return fail(kTooLongForCamera, kUserLabel);
    }
    const std::wstring password = trimmed(form.password);
    if (password.empty()) {
        return fail(kPasswordEmpty);
    }
    if (!convert(password, upload.password)) {
        return fail(kTooLongForCamera, kPasswordLabel);
    }
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
        upload.images.emplace_back(path);
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

jobs::JobSpec UploadOemJob(const std::vector<tagQvIpcInfo>& targets, const OemUpload& upload,
                           const std::string& oemFilePath,
                           std::function<void(int handle)> queueReboot) {
    jobs::JobSpec order;
    order.name = "OEM";
    order.targets = targets;
    std::memcpy(order.credentials.user, upload.user, sizeof order.credentials.user);
    std::memcpy(order.credentials.password, upload.password, sizeof order.credentials.password);
    order.operations = {"Upload OEM Files"};
    order.work = [images = upload.images, oemFilePath, queueReboot](jobs::CameraRun& run) {
        const int handle = run.Handle();
        const bool took = run.Report(
            "Upload OEM Files",
            handle == -1 ? -1 : run.Sdk().UploadOemConfigFile(handle, oemFilePath.c_str()), true);
        if (!took) {
            return;
        }
        for (const std::string& image : images) {
            // An image the camera refuses is not reported: the information
            // file, which the result line stands for, has arrived.
            run.Sdk().UploadOemConfigFile(handle, image.c_str());
        }
        if (queueReboot) {
            queueReboot(handle);
        }
    };
    return order;
}

} // namespace orv::oem
