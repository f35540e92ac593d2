#pragma once
// A driver that exists only in the tests: two cameras of another protocol
// that cannot take firmware, DDNS, OEM files or an address change without a
// login. Nothing in the program names it; it reaches the lists, the pages,
// the jobs and the command line only through the driver interface.

#include "device/DeviceDriver.h"

#include <QStringList>

#include <atomic>
#include <thread>

class CReducedDriver final : public orv::device::IDeviceDriver {
public:
    static constexpr orv::device::Capabilities kCan =
        orv::device::Capabilities::All()
            .Without(orv::device::Capability::Firmware)
            .Without(orv::device::Capability::Ddns)
            .Without(orv::device::Capability::DdnsAccount)
            .Without(orv::device::Capability::Oem)
            .Without(orv::device::Capability::AddressWithoutLogin)
            .Without(orv::device::Capability::Address);

    ~CReducedDriver() override { StopDiscovery(); }

    static orv::device::DeviceInfo Camera(int n) {
        orv::device::DeviceInfo d;
        const QString endpoint = QStringLiteral("urn:uuid:reduced-%1").arg(n);
        d.id = orv::device::DeviceId::OfEndpoint("onvif", endpoint.toStdString());
        d.name = QStringLiteral("Reduced %1").arg(n);
        d.address = 0xC0000232 + static_cast<std::uint32_t>(n); // 192.0.2.50 + n
        d.netmask = 0xFFFFFF00;
        d.ports.http = 80;
        d.manufacturer = QStringLiteral("Elsewhere");
        d.model = QStringLiteral("QVIP3651"); // a model the maker's images also name
        d.firmware = QStringLiteral("13.1.0.5");
        d.services.push_back({orv::device::Protocol::Onvif,
                              QStringLiteral("http://%1/onvif/device_service").arg(d.AddressText()),
                              endpoint});
        d.capabilities = kCan;
        d.lastAnswer = std::chrono::steady_clock::now();
        return d;
    }

    orv::device::Protocol Kind() const override { return orv::device::Protocol::Onvif; }
    void StartDiscovery(orv::device::IDiscoverySink& sink) override {
        // Answers come on the driver's own thread, as a real one's do.
        m_thread = std::thread([this, &sink] {
            std::vector<orv::device::DeviceInfo> found = {Camera(1), Camera(2)};
            if (!secondName.isEmpty()) {
                found[1].name = secondName; // what a hostile station may call itself
            }
            for (qsizetype i = 0; i < names.size(); ++i) {
                if (std::size_t(i) == found.size()) {
                    found.push_back(Camera(static_cast<int>(i) + 1));
                }
                found[std::size_t(i)].name = names[i];
            }
            sink.DevicesFound(found);
        });
    }
    void StopDiscovery() override {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    orv::device::Result<std::unique_ptr<orv::device::IDeviceSession>>
    Open(const orv::device::DeviceInfo&, const orv::device::Credentials&) override {
        ++opened;
        return orv::device::Fault::NotSupported;
    }

    std::atomic<int> opened{0};
    QString secondName;
    // The cameras' names, when given: as many cameras as names.
    QStringList names;

private:
    std::thread m_thread;
};
