// The device lists without a window: the order rows are shown in, their
// numbers and cells, the silence rule, and the selection rules, all with the
// model contract checked by Qt's model tester on every change.

#include "devicelist/DeviceList.h"
#include "DeviceRecords.h"
#include "devicelist/DeviceSelection.h"
#include "log/LogFile.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace orv {
namespace {

class DeviceListTest : public ::testing::Test {
protected:
    std::int32_t now = 1700000000;

    std::unique_ptr<CDeviceList> list(DeviceListKind kind) {
        auto l = std::make_unique<CDeviceList>(kind, [this] { return now; });
        m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
            &l->Proxy(), QAbstractItemModelTester::FailureReportingMode::Fatal));
        return l;
    }
    static QStringList column(const CDeviceList& l, int col) {
        QStringList texts;
        for (int row = 0; row < l.Proxy().rowCount(); ++row) {
            texts << l.Proxy().index(row, col).data().toString();
        }
        return texts;
    }
    static device::DeviceId key(unsigned char id) { return qv::IdOf(Camera(id, "")); }

private:
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;
};

TEST_F(DeviceListTest, AddressOrderNumbersAndTheSortAfterANewCamera) {
    auto l = list(DeviceListKind::NetworkSettings);
    l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.10", "b")));
    l->AddOrRefreshDevice(Found(Camera(2, "192.168.1.9", "a")));
    const std::vector<tagQvIpcInfo> batch{Camera(3, "192.168.1.100", "c"),
                                          Camera(4, "192.168.2.1", "d")};
    EXPECT_EQ(l->AddOrRefreshDevices(Found(batch)), 2);
    EXPECT_EQ(column(*l, 4),
              (QStringList{"192.168.1.9", "192.168.1.10", "192.168.1.100", "192.168.2.1"}));
    EXPECT_EQ(column(*l, 1), (QStringList{"1", "2", "3", "4"}));

    // A header click reverses the current column, starts a new one ascending;
    // the check-box and number columns do not sort.
    QSignalSpy sorted(l.get(), &CDeviceList::sorted);
    l->SortByHeader(4);
    EXPECT_EQ(column(*l, 4).first(), "192.168.2.1");
    l->SortByHeader(0);
    l->SortByHeader(1);
    EXPECT_EQ(sorted.count(), 1);
    l->SortByHeader(2);
    EXPECT_EQ(column(*l, 2), (QStringList{"a", "b", "c", "d"}));
    l->SortByHeader(2);
    EXPECT_EQ(column(*l, 2), (QStringList{"d", "c", "b", "a"}));
    EXPECT_EQ(column(*l, 1), (QStringList{"1", "2", "3", "4"})) << "numbers follow the order";

    // The next new camera brings the address order back, ascending.
    l->AddOrRefreshDevice(Found(Camera(5, "192.168.1.50", "e")));
    EXPECT_EQ(column(*l, 4), (QStringList{"192.168.1.9", "192.168.1.10", "192.168.1.50",
                                          "192.168.1.100", "192.168.2.1"}));
    EXPECT_EQ(sorted.last().at(0).toInt(), 4);
}

TEST_F(DeviceListTest, UpgradeAndOemListsPlaceNewCamerasByTextInTheCurrentOrder) {
    for (DeviceListKind kind : {DeviceListKind::BatchUpgrade, DeviceListKind::Oem}) {
        auto l = list(kind);
        l->SortByHeader(2);
        l->SortByHeader(4);
        l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.9")));
        l->AddOrRefreshDevice(Found(Camera(2, "192.168.1.10")));
        EXPECT_EQ(column(*l, 4), (QStringList{"192.168.1.10", "192.168.1.9"}));
        // A header click on the IP column compares the numbers again.
        l->SortByHeader(4);
        l->SortByHeader(4);
        EXPECT_EQ(column(*l, 4), (QStringList{"192.168.1.9", "192.168.1.10"}));
    }
}

TEST_F(DeviceListTest, TextOrderIgnoresCaseAndBlanksAndEqualRowsKeepTheirOrder) {
    auto l = list(DeviceListKind::BatchSet);
    l->AddOrRefreshDevice(Found(Camera(1, "10.0.0.1", "abc")));
    l->AddOrRefreshDevice(Found(Camera(2, "10.0.0.2", "Zed")));
    l->AddOrRefreshDevice(Found(Camera(3, "10.0.0.3", "ABC ")));
    l->SortByHeader(2);
    EXPECT_EQ(column(*l, 2), (QStringList{"abc", "ABC ", "Zed"}));
    l->SortByHeader(2);
    EXPECT_EQ(column(*l, 2), (QStringList{"Zed", "abc", "ABC "})) << "descending swaps operands";
}

TEST_F(DeviceListTest, ARefreshChangesCellsInPlaceAndKeepsWhatTheRequestLeavesEmpty) {
    auto l = list(DeviceListKind::NetworkSettings);
    l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.5")));
    l->AddOrRefreshDevice(Found(Camera(2, "192.168.1.6")));
    l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.200", "Renamed")));
    EXPECT_EQ(column(*l, 4), (QStringList{"192.168.1.200", "192.168.1.6"}))
        << "the row keeps its place until the next sort";
    EXPECT_EQ(column(*l, 2).first(), "Renamed");

    // An IP change's record carries no model or version: the row keeps its.
    tagQvIpcInfo done = Camera(2, "192.168.1.66");
    std::memset(done.Model, 0, sizeof done.Model);
    std::memset(done.Version, 0, sizeof done.Version);
    EXPECT_EQ(l->RefreshDevice(Found(done)), 1);
    EXPECT_EQ(column(*l, 4).last(), "192.168.1.66");
    EXPECT_EQ(column(*l, 8).last(), "QV-N2610");
    EXPECT_EQ(column(*l, 9).last(), "12.0.4.3");
    EXPECT_EQ(l->RefreshDevice(Found(Camera(9, "192.168.1.9"))), 0)
        << "unlisted cameras are not added";
    EXPECT_EQ(l->Count(), 2);

    // The next new camera sorts the list with the cells as they are now.
    l->AddOrRefreshDevice(Found(Camera(3, "192.168.1.7")));
    EXPECT_EQ(column(*l, 4), (QStringList{"192.168.1.7", "192.168.1.66", "192.168.1.200"}));
}

TEST_F(DeviceListTest, CellsComeFromTheRecordAndTheMacMakesTheKey) {
    auto batch = list(DeviceListKind::BatchSet);
    auto oem = list(DeviceListKind::Oem);
    auto video = list(DeviceListKind::VideoPreviews);
    const tagQvIpcInfo cam = Camera(0x5F, "192.168.1.20",
                                    "Tor S\xC3\xBC"
                                    "d",
                                    "N3476", "Dome 2MP");
    for (CDeviceList* l : {batch.get(), oem.get(), video.get()}) {
        l->AddOrRefreshDevice(Found(cam));
    }
    EXPECT_EQ(column(*batch, 2), QStringList{QStringLiteral("Tor Süd")});
    EXPECT_EQ(column(*batch, 3), QStringList{"02:4F:56:10:00:5F"});
    EXPECT_EQ(column(*batch, 5), QStringList{"Dome 2MP"});
    EXPECT_EQ(column(*oem, 8), QStringList{"N3476"}) << "OEM shows the model only";
    EXPECT_EQ(column(*video, 0), QStringList{"1"}) << "no check boxes: numbers come first";
    EXPECT_FALSE(video->Proxy().index(0, 0).data(Qt::CheckStateRole).isValid());

    // The two bytes after the MAC travel with it but name no other camera:
    // the row is refreshed and keeps them for the camera's next request.
    tagQvIpcInfo same = cam;
    same.Mac[7] = 1;
    const std::vector<tagQvIpcInfo> twice{same, same};
    EXPECT_EQ(batch->AddOrRefreshDevices(Found(twice)), 0);
    ASSERT_EQ(batch->Count(), 1);
    EXPECT_EQ(qv::WireIdOf(batch->Devices().front())->at(7), 1);
    tagQvIpcInfo other = cam;
    other.Mac[5] = 0x60;
    const std::vector<tagQvIpcInfo> both{other, other};
    EXPECT_EQ(batch->AddOrRefreshDevices(Found(both)), 1)
        << "one camera twice in a batch is one row";
    EXPECT_EQ(batch->Count(), 2);

    // A new camera that answers twice in one batch is listed as its later
    // answer tells it, and in that answer's place.
    auto network = list(DeviceListKind::NetworkSettings);
    const std::vector<tagQvIpcInfo> moved{Camera(7, "192.168.1.90", "before"),
                                          Camera(8, "192.168.1.50", "fixed"),
                                          Camera(7, "192.168.1.10", "after")};
    EXPECT_EQ(network->AddOrRefreshDevices(Found(moved)), 2);
    EXPECT_EQ(column(*network, 2), (QStringList{"after", "fixed"}));
    EXPECT_EQ(column(*network, 4), (QStringList{"192.168.1.10", "192.168.1.50"}));
}

TEST_F(DeviceListTest, SilentCamerasLeaveTogetherAndOnlyNetworkSettingsLogsThem) {
    const auto disconnectLines = [] {
        std::ifstream in(TheLogFile().CurrentPath());
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            if (const auto at = line.find("Item(");
                at != std::string::npos && line.find("Disconnect IPC:") != std::string::npos) {
                lines.push_back(line.substr(at, line.find(" now:") - at));
            }
        }
        return lines;
    };
    auto network = list(DeviceListKind::NetworkSettings);
    auto batch = list(DeviceListKind::BatchSet);
    // Nine cameras; the ones at .3, .5, .6 and .9 go on answering, so the
    // silent ones stand in runs of one and two between them.
    for (CDeviceList* l : {network.get(), batch.get()}) {
        for (unsigned char i = 9; i >= 1; --i) {
            l->AddOrRefreshDevice(Found(Camera(i, ("192.168.1." + std::to_string(i)).c_str())));
        }
    }
    now += 29;
    for (const unsigned char i : {3, 5, 6, 9}) {
        const tagQvIpcInfo answer = Camera(i, ("192.168.1." + std::to_string(i)).c_str());
        network->AddOrRefreshDevice(Found(answer));
        batch->AddOrRefreshDevice(Found(answer));
    }
    EXPECT_EQ(network->DropStaleDevices(), 0) << "29 seconds are not silence yet";
    now += 1;
    QSignalSpy dropped(network.get(), &CDeviceList::deviceDropped);
    const std::size_t before = disconnectLines().size();
    EXPECT_EQ(network->DropStaleDevices(), 5);
    const QStringList kept{"192.168.1.3", "192.168.1.5", "192.168.1.6", "192.168.1.9"};
    EXPECT_EQ(column(*network, 4), kept);
    ASSERT_EQ(dropped.count(), 5);
    EXPECT_EQ(dropped.first().at(0).value<device::DeviceId>(), key(1));
    // Numbered as if they left one by one in the list's order.
    const std::vector<std::string> lines = disconnectLines();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<long>(before), lines.end()),
              (std::vector<std::string>{
                  "Item(0) Disconnect IPC:192.168.1.1", "Item(0) Disconnect IPC:192.168.1.2",
                  "Item(1) Disconnect IPC:192.168.1.4", "Item(3) Disconnect IPC:192.168.1.7",
                  "Item(3) Disconnect IPC:192.168.1.8"}));
    // The cameras that stay are found where they are shown.
    for (const unsigned char i : {3, 5, 6, 9}) {
        const int row = network->RowOf(key(i));
        ASSERT_GE(row, 0);
        EXPECT_EQ(network->KeyAt(row), key(i));
        EXPECT_EQ(network->Find(key(i))->info.AddressText(), QStringLiteral("192.168.1.%1").arg(i));
    }
    EXPECT_EQ(network->Find(key(4)), nullptr);

    EXPECT_EQ(batch->DropStaleDevices(2), 2) << "a bound leaves the rest for the next check";
    EXPECT_EQ(batch->DropStaleDevices(), 3);
    EXPECT_EQ(batch->DropStaleDevices(), 0) << "the cameras that answered stay";
    EXPECT_EQ(column(*batch, 4), kept);
    EXPECT_EQ(disconnectLines().size(), lines.size()) << "only Network Settings logs";
}

// With a site open, a silent camera stays as offline: shown dimmed with
// since when, never ticked by Select All nor anyone's target, and live again
// at its next answer; the site's remembered cameras come in offline, and
// leave with the site.
TEST_F(DeviceListTest, WithASiteSilentCamerasStayOfflineUntilTheyAnswerAgain) {
    auto l = list(DeviceListKind::BatchSet);
    l->SetKeepsSilent(true);
    for (unsigned char i = 1; i <= 4; ++i) {
        l->AddOrRefreshDevice(Found(Camera(i, ("192.168.1." + std::to_string(i)).c_str())));
    }
    // Remembered by the site, not answering: camera 7, and camera 2 again
    // (listed already, so not twice).
    DeviceRow remembered;
    remembered.info = Found(Camera(7, "192.168.1.7", "Tor"));
    remembered.lastSeen = now - 3600;
    DeviceRow listed;
    listed.info = Found(Camera(2, "192.168.1.2"));
    const std::vector<DeviceRow> site = {remembered, listed};
    EXPECT_EQ(l->AddOffline(site), 1);
    EXPECT_EQ(l->Count(), 5);

    now += 30;
    l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.1")));
    l->AddOrRefreshDevice(Found(Camera(2, "192.168.1.2")));
    EXPECT_EQ(l->DropStaleDevices(), 0) << "nothing leaves";
    EXPECT_EQ(l->Count(), 5);
    std::vector<device::DeviceId> offline;
    for (const DeviceRow& row : l->OfflineDevices()) {
        offline.push_back(row.info.id);
    }
    EXPECT_EQ(offline, (std::vector<device::DeviceId>{key(3), key(4), key(7)}));
    const QModelIndex cell = l->View().index(l->RowOf(key(7)), 2);
    EXPECT_TRUE(cell.data().toString().startsWith(QStringLiteral("Tor \u2014 offline since ")))
        << cell.data().toString().toStdString();
    EXPECT_TRUE(
        l->View().index(l->RowOf(key(3)), 0).data(CDeviceTableModel::kOfflineRole).toBool());
    EXPECT_FALSE(
        l->View().index(l->RowOf(key(1)), 0).data(CDeviceTableModel::kOfflineRole).toBool());

    l->SetAllChecks(true);
    EXPECT_TRUE(l->IsChecked(key(1)));
    EXPECT_FALSE(l->IsChecked(key(3))) << "Select All ticks cameras that answer";
    l->SetChecked(key(4), true); // by hand
    std::vector<device::DeviceId> targets;
    for (const device::DeviceInfo& d : l->CheckedDevices()) {
        targets.push_back(d.id);
    }
    EXPECT_EQ(targets, (std::vector<device::DeviceId>{key(1), key(2)}));
    EXPECT_EQ(l->Devices().size(), 2u);

    l->AddOrRefreshDevice(Found(Camera(3, "192.168.1.3")));
    EXPECT_EQ(l->OfflineDevices().size(), 2u) << "camera 3 answers: live again";
    EXPECT_FALSE(
        l->View().index(l->RowOf(key(3)), 0).data(CDeviceTableModel::kOfflineRole).toBool());

    // Another site opens: its offline cameras are not this one's.
    QSignalSpy dropped(l.get(), &CDeviceList::deviceDropped);
    EXPECT_EQ(l->RemoveOffline(), 2);
    EXPECT_EQ(dropped.count(), 2);
    EXPECT_EQ(l->Count(), 3);
    // Without a site, silence removes as it always did.
    l->SetKeepsSilent(false);
    now += 60;
    EXPECT_EQ(l->DropStaleDevices(), 3);
}

// What a site's book keeps as a camera's identity reads back as the same.
TEST(DeviceIdText, ReadsBackWhatItWrote) {
    for (const device::DeviceId& id :
         {device::DeviceId::OfMac({2, 0x4f, 0x56, 0x10, 0, 1}),
          device::DeviceId::OfEndpoint("onvif", "urn:uuid:1b4e28ba-2fa1-11d2")}) {
        EXPECT_EQ(device::DeviceId::FromText(id.Text()), id) << id.Text();
    }
    for (const char* junk : {"", "mac:", "mac:02:4F", "nocolon", ":x", "onvif:"}) {
        EXPECT_TRUE(device::DeviceId::FromText(junk).IsNull()) << junk;
    }
}

TEST_F(DeviceListTest, AHostileNameIsShownWithItsControlCharactersAsEscapes) {
    auto l = list(DeviceListKind::NetworkSettings);
    device::DeviceInfo hostile = Found(Camera(1, "192.168.1.1"));
    hostile.name = QString::fromUtf8("a\x1b[2J\rb\u202e!");
    l->AddOrRefreshDevice(hostile);
    l->AddOrRefreshDevice(Found(Camera(2, "192.168.1.2",
                                       "S\xC3\xBC"
                                       "d")));
    EXPECT_EQ(column(*l, 2), (QStringList{"a\\x1b[2J\\x0db\\u202e!", QString::fromUtf8("S\xC3\xBC"
                                                                                       "d")}));
    EXPECT_EQ(l->Find(key(1))->info.name, hostile.name) << "the camera's own name is kept";
}

TEST_F(DeviceListTest, TheListStopsGrowingAtItsCeilingAndSaysSoOnce) {
    auto l = list(DeviceListKind::VideoPreviews);
    std::vector<tagQvIpcInfo> flood(CDeviceTableModel::kMaxDevices + 5, Camera(0, "10.0.0.1"));
    for (std::size_t i = 0; i < flood.size(); ++i) {
        std::memcpy(flood[i].Mac + 2, &i, 4);
    }
    QSignalSpy full(l.get(), &CDeviceList::full);
    EXPECT_EQ(l->AddOrRefreshDevices(Found(flood)), CDeviceTableModel::kMaxDevices);
    l->AddOrRefreshDevice(Found(Camera(1, "10.0.0.2")));
    EXPECT_EQ(full.count(), 1);
    EXPECT_EQ(l->Count(), CDeviceTableModel::kMaxDevices);
}

// ---- the selection rules

TEST_F(DeviceListTest, TheCurrentCameraIsACameraNotARow) {
    auto l = list(DeviceListKind::NetworkSettings);
    CDeviceSelection selection(*l);
    for (unsigned char i = 1; i <= 3; ++i) {
        l->AddOrRefreshDevice(Found(Camera(i, ("192.168.1." + std::to_string(10 + i)).c_str(),
                                           std::string(1, static_cast<char>('d' - i)).c_str())));
    }
    QSignalSpy picked(&selection, &CDeviceSelection::picked);
    selection.RowSelected(*l->KeyAt(1));
    ASSERT_EQ(selection.Current(), key(2));
    l->SortByHeader(2); // by name: c, b, a -> the camera moves to another row
    l->AddOrRefreshDevice(Found(Camera(4, "192.168.1.1")));
    EXPECT_EQ(selection.Current(), key(2));
    EXPECT_EQ(selection.CurrentDevice()->info.AddressText(), "192.168.1.12");
    selection.RowSelected(key(2));
    EXPECT_EQ(picked.count(), 1) << "selecting the current camera again picks nothing";

    now += 30;
    l->AddOrRefreshDevice(Found(Camera(1, "192.168.1.11")));
    l->AddOrRefreshDevice(Found(Camera(3, "192.168.1.13")));
    EXPECT_EQ(l->DropStaleDevices(), 2); // cameras 4 and 2
    EXPECT_FALSE(selection.Current()) << "a dropped camera is nobody's current camera";
}

// The maker's camera answering both ways, and an ONVIF-only camera first
// known by its endpoint until its details told the MAC.
TEST_F(DeviceListTest, ACameraFoundTwoWaysIsOneRowThatSaysHowItIsReached) {
    auto l = list(DeviceListKind::NetworkSettings);
    CDeviceSelection selection(*l);
    const int protocolColumn = static_cast<int>(l->Profile().columns.size()) - 1;
    device::DeviceInfo maker = Found(Camera(1, "192.168.1.11", "gate"));
    l->AddOrRefreshDevice(maker);

    device::DeviceInfo onvif;
    onvif.id = maker.id;
    onvif.mac = maker.mac;
    onvif.address = maker.address;
    onvif.name = "another name through ONVIF";
    onvif.services = {
        {device::Protocol::Onvif, "http://192.168.1.11:8000/onvif/device_service", "urn:uuid:1"}};
    onvif.capabilities = {device::Capability::Name};
    l->AddOrRefreshDevice(onvif);
    ASSERT_EQ(l->Count(), 1);
    const device::DeviceInfo& both = l->Find(maker.id)->info;
    EXPECT_EQ(both.name, "gate")
        << "the maker's answer carries every value; ONVIF adds its address";
    EXPECT_TRUE(both.Speaks(device::Protocol::Maker));
    EXPECT_TRUE(both.Speaks(device::Protocol::Onvif));
    EXPECT_EQ(both.services.front().protocol, device::Protocol::Maker);
    EXPECT_EQ(column(*l, protocolColumn), QStringList{"Native, ONVIF"});
    // A later maker's answer keeps the ONVIF address.
    l->AddOrRefreshDevice(maker);
    EXPECT_TRUE(l->Find(maker.id)->info.Speaks(device::Protocol::Onvif));

    // Another maker's camera: listed by its endpoint, checked and picked,
    // then its MAC is known and the same row goes on under it.
    device::DeviceInfo other;
    other.id = device::DeviceId::OfEndpoint("onvif", "urn:uuid:2");
    other.address = 0xc0a8010c;
    other.name = "lx";
    other.services = {{device::Protocol::Onvif, "http://192.168.1.12:8899/x", "urn:uuid:2"}};
    l->AddOrRefreshDevice(other);
    l->SetChecked(other.id, true);
    selection.Pick(other.id);
    ASSERT_EQ(l->Count(), 2);
    device::DeviceInfo detailed = other;
    detailed.mac = device::MacAddress{2, 0x6c, 0x75, 0, 0, 1};
    detailed.id = device::DeviceId::OfMac(*detailed.mac);
    detailed.formerId = other.id;
    detailed.model = "LX-40";
    l->AddOrRefreshDevice(detailed);
    EXPECT_EQ(l->Count(), 2);
    EXPECT_EQ(l->Find(other.id), nullptr);
    ASSERT_NE(l->Find(detailed.id), nullptr);
    EXPECT_TRUE(l->IsChecked(detailed.id));
    EXPECT_EQ(selection.Current(), detailed.id);
    EXPECT_EQ(column(*l, protocolColumn), (QStringList{"Native, ONVIF", "ONVIF"}));
}

TEST_F(DeviceListTest, ChecksSwitchCheckedModeAndATextClickReturnsToOneCamera) {
    auto l = list(DeviceListKind::BatchSet);
    CDeviceSelection selection(*l);
    for (unsigned char i = 1; i <= 3; ++i) {
        l->AddOrRefreshDevice(Found(Camera(i, ("192.168.1." + std::to_string(i)).c_str())));
    }
    QSignalSpy modes(&selection, &CDeviceSelection::checkedModeSwitched);
    QSignalSpy cleared(&selection, &CDeviceSelection::selectAllCleared);
    QSignalSpy picked(&selection, &CDeviceSelection::picked);

    l->SetChecked(key(1), true);
    selection.CheckChanged(true);
    l->SetChecked(key(2), true);
    selection.CheckChanged(true);
    EXPECT_TRUE(selection.CheckedMode());
    selection.RowSelected(key(3));
    EXPECT_EQ(picked.count(), 0) << "in checked mode a selected row picks nothing";

    selection.TextClicked(key(1));
    EXPECT_FALSE(l->IsChecked(key(1)));
    EXPECT_TRUE(selection.CheckedMode()) << "camera 2 stays checked";
    selection.TextClicked(key(2));
    EXPECT_FALSE(selection.CheckedMode());
    EXPECT_EQ(cleared.count(), 1);
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(selection.Current(), key(2));

    selection.SelectAll(true);
    EXPECT_EQ(l->CheckedDevices().size(), 3u);
    l->SetChecked(key(3), false);
    selection.CheckChanged(false);
    EXPECT_TRUE(selection.CheckedMode());
    selection.SelectAll(false);
    EXPECT_FALSE(l->AnyChecked());
    EXPECT_EQ(modes.count(), 5);
}

TEST_F(DeviceListTest, AddressConflictsConcernTheCheckedSet) {
    auto l = list(DeviceListKind::BatchSet);
    CDeviceSelection selection(*l);
    l->AddOrRefreshDevice(Found(Camera(1, "10.0.0.1")));
    l->AddOrRefreshDevice(Found(Camera(2, "10.0.0.1")));
    l->AddOrRefreshDevice(Found(Camera(3, "10.0.0.3")));
    EXPECT_TRUE(selection.Conflicts(key(1)));
    EXPECT_FALSE(selection.Conflicts(key(3)));
    l->SetChecked(key(3), true);
    EXPECT_FALSE(selection.CheckedSetConflicts());
    l->SetChecked(key(2), true);
    EXPECT_TRUE(selection.CheckedSetConflicts()) << "a checked camera shares an unchecked's";
}

} // namespace
} // namespace orv

namespace orv {
namespace {

// The filter hides rows from the view only: rows on screen are the matching
// ones (numbered 1..n), while the list's order, its checks and its checked
// cameras go on over every camera.
TEST_F(DeviceListTest, TheFilterHidesRowsFromTheViewOnly) {
    auto l = list(DeviceListKind::BatchSet);
    QAbstractItemModelTester viewTester(&l->View(),
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
    l->AddOrRefreshDevices(Found(std::vector<tagQvIpcInfo>{
        Camera(1, "10.0.0.1", "Süd-Tor 1"), Camera(2, "10.0.0.2", "Halle 2"),
        Camera(3, "10.0.0.3", "SÜD-Tor 3"), Camera(4, "10.0.0.4", "Nord 4")}));
    l->SetChecked(key(2), true);

    l->SetFilter(QStringLiteral("  süd  tor "));
    ASSERT_EQ(l->ShownCount(), 2);
    EXPECT_EQ(l->Count(), 4);
    EXPECT_EQ(l->KeyAt(0), key(1));
    EXPECT_EQ(l->KeyAt(1), key(3));
    EXPECT_FALSE(l->KeyAt(2).has_value());
    EXPECT_EQ(l->RowOf(key(3)), 1);
    EXPECT_EQ(l->RowOf(key(2)), -1) << "hidden";
    EXPECT_EQ(l->View().index(1, 1).data().toString(), "2") << "numbered among the rows shown";
    EXPECT_EQ(l->Keys().size(), 4u);

    // Select All ticks the rows shown and keeps the hidden tick; the checked
    // cameras are every ticked one, in the list's order.
    l->SetAllChecks(true);
    std::vector<device::DeviceId> checked;
    for (const device::DeviceInfo& d : l->CheckedDevices()) {
        checked.push_back(d.id);
    }
    EXPECT_EQ(checked, (std::vector<device::DeviceId>{key(1), key(2), key(3)}));

    // Any field matches: MAC, address, model, version; every word must.
    l->SetFilter(QStringLiteral("10.0.0.4"));
    EXPECT_EQ(l->KeyAt(0), key(4));
    l->SetFilter(QString::fromStdString(Found(Camera(2, "")).MacText()).toLower());
    EXPECT_EQ(l->ShownCount(), 1);
    l->SetFilter(QStringLiteral("Süd Nord"));
    EXPECT_EQ(l->ShownCount(), 0);

    // A camera renamed while the filter is on comes into view.
    l->SetFilter(QStringLiteral("Süd"));
    l->AddOrRefreshDevice(Found(Camera(4, "10.0.0.4", "Süd 4")));
    EXPECT_EQ(l->ShownCount(), 3);

    // Clearing Select All clears every tick, shown or not.
    l->SetAllChecks(false);
    EXPECT_FALSE(l->AnyChecked());
    l->SetFilter(QString());
    EXPECT_EQ(l->ShownCount(), 4);
}

} // namespace
} // namespace orv
