#pragma once
// The main window's services as a page sees them, recording what the page
// sends, so page tests can check each request byte for byte.

#include "operations/common/AppServices.h"
#include "text/TextConv.h"

#include <QStringList>

#include <vector>

class RecordingServices : public orv::IAppServices {
public:
    QString user = QStringLiteral("admin");
    QString password = QStringLiteral("kt7391");
    QStringList lines;
    std::vector<tagQvIpcInfo> requests;

    QString DefaultUserText() const override { return user.trimmed(); }
    QString DefaultPasswordText() const override { return password.trimmed(); }
    void SetDefaultPassword(const QString& text) override { password = text; }
    void AddOperatingInfo(const QString& text) override { lines << text; }
    int ModifyIpcInfoAll(tagQvIpcInfo* request) override {
        if (request == nullptr) {
            return -1;
        }
        requests.push_back(*request);
        return 0;
    }
};
