#include "operations/network/AddressPlan.h"
#include "MakerDrivers.h"
#include "protocols/qv/QvRecords.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace orv::plan;

namespace {

Plan readPlan(std::string_view text) {
    return ReadPlan(text, MakerDrivers());
}

std::vector<std::string> problems(const Plan& plan) {
    std::vector<std::string> out;
    for (const PlanProblem& p : plan.problems) {
        out.push_back(ProblemText("p.csv", p));
    }
    return out;
}

orv::device::DeviceInfo camera(int n, const char* ip, int port = 80) {
    tagQvIpcInfo c{};
    const std::uint8_t mac[8] = {0x02, 0x4F, 0x56, 0x10, 0x00, static_cast<std::uint8_t>(n)};
    std::memcpy(c.Mac, mac, sizeof mac);
    std::snprintf(c.DevName, sizeof c.DevName, "Cam %d", n);
    std::snprintf(c.IpAddr, sizeof c.IpAddr, "%s", ip);
    std::snprintf(c.NetMask, sizeof c.NetMask, "255.255.255.0");
    std::snprintf(c.Gateway, sizeof c.Gateway, "192.0.2.1");
    c.HttpPort = port;
    return orv::qv::DeviceOf(c, {});
}

} // namespace

TEST(AddressPlan, ReadsSpreadsheetCsvAndNamesTheLineOfEachRow) {
    // A byte order mark, CRLF, semicolons, a quoted name holding the
    // separator, a doubled quote and a line break, an empty spreadsheet row,
    // and the discovery list's own columns.
    const Plan plan = readPlan("\xEF\xBB\xBFMAC;ip;Name;model\r\n"
                               "02:4f:56:10:00:01; 192.0.2.101 ;\"Gate; \"\"north\"\"\nside\";X\r\n"
                               ";;;\r\n"
                               "024F56100002;;;\r\n");
    ASSERT_EQ(problems(plan), std::vector<std::string>{});
    ASSERT_EQ(plan.rows.size(), 2u);
    EXPECT_EQ(MacText(plan.rows[0].mac), "02:4F:56:10:00:01");
    EXPECT_EQ(plan.rows[0].ip, "192.0.2.101");
    EXPECT_EQ(plan.rows[0].name, "Gate; \"north\"\nside");
    EXPECT_EQ(plan.rows[1].line, 5);
    EXPECT_TRUE(plan.rows[1].ip.empty());
}

TEST(AddressPlan, EveryFaultIsNamedByLineAndField) {
    const Plan plan = readPlan("mac,ip,netmask,gateway,http_port,name,notes\n"
                               "02:4F:56:10:00:01,192.0.2.255,,,,\n"
                               "02:4F:56:10:00:02,,0.255.255.0,,0,\n"
                               "02:4F:56:10:00:02,192.0.2.20,,,,\n"
                               "02:4F:56:10:00:03,192.0.2.020,,,,\n"
                               "02:4F:56:10:00:04,,,,,12345678901234567890123456789012\n"
                               "02:4F:56:10:0:05,,,,,\n"
                               "02:4F:56:10:00:06,,,,,,,,\n");
    EXPECT_EQ(problems(plan),
              (std::vector<std::string>{
                  "p.csv:1: notes: unknown column", "p.csv:2: ip: Invalid IP address.",
                  "p.csv:3: netmask: Invalid Netmask.",
                  "p.csv:3: http_port: Please input the port between 1024 and 65535.",
                  "p.csv:4: mac: 02:4F:56:10:00:02 is planned on line 3 too",
                  "p.csv:5: ip: 192.0.2.20 is planned on line 4 too",
                  "p.csv:6: name: longer than a camera keeps",
                  "p.csv:7: mac: \"02:4F:56:10:0:05\" is not a MAC address",
                  "p.csv:8: 9 fields where the header names 7"}));
    EXPECT_EQ(problems(readPlan("ip,name\n192.0.2.1,x\n")),
              std::vector<std::string>{"p.csv:1: mac: the header names no mac column"});
    EXPECT_EQ(problems(readPlan("mac,name\n02:4F:56:10:00:01,\"open\n")),
              std::vector<std::string>{"p.csv:2: a quoted field has no end"});
    EXPECT_EQ(problems(readPlan("mac,name\n\n02:4F:56:10:00:01,\"a\"\"\" \t b\n")),
              std::vector<std::string>{"p.csv:3: text after a closing quote"});
    // A quote inside a field that did not start with one is text; blanks
    // after a closing quote are nothing.
    const Plan quotes = readPlan("mac,name\n02:4F:56:10:00:01,\"a\"\"\" \t\n"
                                 "02:4F:56:10:00:02, b\"c\" \n");
    ASSERT_EQ(quotes.rows.size(), 2u);
    EXPECT_EQ(quotes.rows[0].name, "a\"");
    EXPECT_EQ(quotes.rows[1].name, "b\"c\"");
}

TEST(AddressPlan, ReadsAMacInPairsWithOneKindOfSeparatorOrNone) {
    const Mac mac = {0x02, 0x4F, 0x56, 0x10, 0x00, 0xAB};
    for (const char* text : {"02:4F:56:10:00:AB", "02-4f-56-10-00-ab", "024F561000aB"}) {
        EXPECT_EQ(ReadMac(text), mac) << text;
    }
    for (const char* text :
         {"02:4F-56:10:00:AB", "024:F5:61:00:00:AB", "0000000-0000:-0::", "02:4F:56:10:00:AG",
          "02:4F:56:10:00", "02.4F.56.10.00.AB", "024F561000AB0", ""}) {
        EXPECT_EQ(ReadMac(text), std::nullopt) << text;
    }
}

TEST(AddressPlan, MatchesRowsAgainstTheCamerasAndTheAddressesInUse) {
    const std::vector<orv::device::DeviceInfo> cameras = {
        camera(1, "192.0.2.10"), camera(2, "192.0.2.11"), camera(3, "192.0.2.12", 8080),
        camera(4, "192.0.2.13"), camera(5, "192.0.2.14")};
    const Plan plan = readPlan("mac,ip,http_port,name\n"
                               "02:4F:56:10:00:01,,80,\n"         // as it is, factory port 80
                               "02:4F:56:10:00:02,192.0.2.50,,\n" // moves
                               "02:4F:56:10:00:03,192.0.2.13,,\n" // camera 4's address
                               "02:4F:56:10:00:04,192.0.2.60,,\n" // answers ARP
                               "02:4F:56:10:00:09,192.0.2.70,,\n"
                               "02:4F:56:10:00:05,,443,\n");
    const std::vector<PlanEntry> entries = MatchPlan(
        plan, cameras, {L"admin", L"pw"}, MakerDrivers(), {{"192.0.2.60", "02:AA:00:00:00:01"}});
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].state, RowState::Matched);
    EXPECT_FALSE(entries[0].changes);
    EXPECT_EQ(entries[0].request->change.httpPort, 80);
    EXPECT_EQ(entries[1].state, RowState::Matched);
    EXPECT_TRUE(entries[1].changes);
    EXPECT_EQ(orv::device::Ipv4Text(entries[1].request->change.address), "192.0.2.50");
    EXPECT_EQ(entries[1].request->change.name, "Cam 2");
    EXPECT_EQ(entries[1].request->device.id, cameras[1].id);
    EXPECT_EQ(entries[1].request->credentials.user, "admin");
    EXPECT_EQ(entries[2].reason, "192.0.2.13 is the address of camera 02:4F:56:10:00:04 (Cam 4)");
    EXPECT_EQ(entries[3].reason, "192.0.2.60 is in use by 02:AA:00:00:00:01");
    EXPECT_EQ(entries[4].state, RowState::Missing);
    EXPECT_EQ(entries[5].reason, "http_port: Please input the port between 1024 and 65535.");
    EXPECT_EQ(AddressesToProbe(entries), (std::vector<std::string>{"192.0.2.50"}));

    // A row that keeps its address meets a row that moves there.
    const std::vector<PlanEntry> clash = MatchPlan(
        readPlan("mac,ip,netmask\n02:4F:56:10:00:01,,\n02:4F:56:10:00:02,,255.0.0.0\n"),
        {camera(1, "192.0.2.10"), camera(2, "192.0.2.10")}, {L"admin", L"pw"}, MakerDrivers());
    EXPECT_EQ(clash[0].reason, "192.0.2.10 is planned on line 3 too");
    EXPECT_EQ(clash[1].state, RowState::Conflicting);
}

TEST(AddressPlan, HostileNamesStayTextInAnExportedListAndReadBackUnchanged) {
    const std::vector<std::string> names = {"=HYPERLINK(\"http://x\",\"y\")",
                                            "@SUM(1+1)*cmd|x",
                                            "+1+1",
                                            "-2",
                                            "\tTab",
                                            "\rCR",
                                            "'s Hertogenbosch",
                                            "'=quoted",
                                            "''+twice",
                                            "Gate"};
    std::vector<std::vector<std::string>> rows;
    for (std::size_t i = 0; i < names.size(); ++i) {
        orv::device::DeviceInfo d =
            camera(static_cast<int>(i + 1), ("192.0.2." + std::to_string(10 + i)).c_str());
        d.name = QString::fromStdString(names[i]);
        rows.push_back(ListCells(d, "lab0"));
    }
    const std::string csv = ListCsv(rows);
    // No cell of the file starts a formula: each starts after a separator,
    // a line end or an opening quote.
    for (std::size_t at = 0; at < csv.size(); ++at) {
        const bool cellStart =
            at == 0 || csv[at - 1] == ',' || csv[at - 1] == '\n' ||
            (csv[at - 1] == '"' && (at == 1 || csv[at - 2] == ',' || csv[at - 2] == '\n'));
        if (cellStart) {
            EXPECT_EQ(std::string("=+-@\t\r").find(csv[at]), std::string::npos)
                << "a formula at byte " << at << " of\n"
                << csv;
        }
    }
    EXPECT_NE(csv.find("'s Hertogenbosch"), std::string::npos) << "a harmless apostrophe stays";
    const Plan plan = readPlan(csv);
    ASSERT_TRUE(plan.problems.empty()) << problems(plan).front();
    ASSERT_EQ(plan.rows.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(plan.rows[i].name, names[i]) << "read back as the camera named itself";
    }
}
