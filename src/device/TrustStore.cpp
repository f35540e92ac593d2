#include "TrustStore.h"

#include <QDateTime>

namespace orv::device {

std::string TrustedSince(const TrustedKey& key) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(key.since.time_since_epoch()).count();
    return QDateTime::fromSecsSinceEpoch(seconds)
        .toString(QStringLiteral("yyyy-MM-dd"))
        .toStdString();
}

} // namespace orv::device
