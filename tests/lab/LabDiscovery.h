#pragma once
// Opens a discovery instance on a lab adapter exactly as the program does:
// the filter names the adapter's own MAC, then capture, then (optionally)
// the search. `initResult` receives InitQvsp's result when it runs.

#include "qvsp/Qvsp.h"

#include <cstdio>
#include <string>
#include <vector>

inline bool StartLabDiscovery(CQvsp& qvsp, const std::string& adapter, QvspCallback callback,
                              void* user, bool discover = true, int* initResult = nullptr) {
    QvAdapter* list = nullptr;
    int count = 0;
    CQvsp::SearchAdapter(&list, &count);
    std::string filter;
    for (int i = 0; i < count; ++i) {
        if (adapter == list[i].Name) {
            const auto* m = list[i].Mac;
            char text[256];
            std::snprintf(text, sizeof text,
                          "ether proto 0x0809 and len ==260 and ether src not "
                          "%.2x:%.2x:%.2x:%.2x:%.2x:%.2x",
                          m[0], m[1], m[2], m[3], m[4], m[5]);
            filter = text;
        }
    }
    if (count > 0) {
        CQvsp::FreeSearchAdapter(list);
    }
    if (filter.empty()) {
        return false;
    }
    std::vector<char> name(adapter.begin(), adapter.end());
    name.push_back(0);
    std::vector<char> filterText(filter.begin(), filter.end());
    filterText.push_back(0);
    qvsp.SetAdapter(name.data());
    qvsp.SetFilter(filterText.data());
    const int result = qvsp.InitQvsp();
    if (initResult != nullptr) {
        *initResult = result;
    }
    if (result != 0) {
        return false;
    }
    qvsp.StartCapture(callback, user);
    if (discover) {
        qvsp.StartDiscovery();
    }
    return true;
}
