#include "DiscoveryInstances.h"

#include "lang/Language.h"
#include "log/LogFile.h"

#include <QCoreApplication>

#include <cstdio>

namespace orv {

std::string DiscoveryFilter(const unsigned char mac[6]) {
    char filter[256] = {};
    std::snprintf(filter, sizeof filter,
                  "ether proto 0x0809 and len ==260 and ether src not "
                  "%.2x:%.2x:%.2x:%.2x:%.2x:%.2x",
                  mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return filter;
}

CDiscoveryInstances::CDiscoveryInstances(Factory factory) : m_factory(std::move(factory)) {
    if (!m_factory) {
        m_factory = [] { return std::make_unique<CQvsp>(); };
    }
}

CDiscoveryInstances::~CDiscoveryInstances() {
    Stop();
}

int CDiscoveryInstances::Start(QvspCallback callback, void* user, const StartFailure& failed) {
    return StartEach(
        callback, [user](const QvAdapter&) { return user; }, failed);
}

int CDiscoveryInstances::StartEach(QvspCallback callback, const UserFor& userFor,
                                   const StartFailure& failed) {
    QvAdapter* adapters = nullptr;
    int count = 0;
    CQvsp::SearchAdapter(&adapters, &count);
    for (int i = 0; i < count; ++i) {
        WriteLog(0, "%d Adapter:%s %s", count, adapters[i].Name, adapters[i].Description);
    }
    if (count <= 0) {
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        void* user = userFor(adapters[i]);
        if (user == nullptr) {
            continue;
        }
        auto instance = m_factory();
        std::string filter = DiscoveryFilter(adapters[i].Mac);
        instance->SetAdapter(adapters[i].Name);
        instance->SetFilter(filter.data());
        if (const int error = instance->InitQvsp(); error == 0) {
            instance->StartCapture(callback, user);
            instance->StartDiscovery();
        } else if (failed) {
            failed(adapters[i].Name, error);
        }
        m_instances.push_back(std::move(instance));
    }
    CQvsp::FreeSearchAdapter(adapters);
    return Count();
}

void CDiscoveryInstances::Stop() {
    for (auto& instance : m_instances) {
        instance->UnInitQvsp();
    }
    m_instances.clear();
}

int CDiscoveryInstances::ModifyAll(tagQvIpcInfo* request) {
    if (request == nullptr) {
        return -1;
    }
    for (auto& instance : m_instances) {
        instance->ModifyIpcInfo(request);
    }
    return 0;
}

QString CaptureProblemText(const QString& adapter, int error, bool started) {
    const auto text = [](const wchar_t* id, const wchar_t* english) {
        return QString::fromStdWString(TheLanguage().Text(id, english));
    };
    switch (error) {
    case QVSP_ERROR_NO_PERMISSION:
        return text(L"95020",
                    L"No discovery on %1: the program may not capture network frames. Run it as "
                    L"root, or grant the right once: setcap cap_net_raw+ep %2")
            .arg(adapter, QCoreApplication::applicationFilePath());
    case QVSP_ERROR_ADAPTER_GONE:
        return text(L"95021", L"Discovery on %1 stopped: the adapter is gone.").arg(adapter);
    default:
        return started ? text(L"95022", L"Discovery on %1 stopped: capture failed.").arg(adapter)
                       : text(L"95023", L"No discovery on %1: capture failed.").arg(adapter);
    }
}

} // namespace orv
