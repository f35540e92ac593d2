#pragma once

// A private network for one test: a tool namespace and a camera namespace
// joined by veth pairs, the camera simulator on the camera side, and the
// calling thread moved into the tool namespace while the lab lives.
// Everything is undone by the destructor, also when a test fails.

#include "qvsp/wire/Frame.h"
#include "qvsp/wire/UniqueFd.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

class LabNetwork {
public:
    LabNetwork() = default;
    ~LabNetwork();
    LabNetwork(const LabNetwork&) = delete;
    LabNetwork& operator=(const LabNetwork&) = delete;

    // Builds the namespaces with `adapters` tool-side adapters (more than one
    // are bridged on the camera side). Returns an error text or "".
    std::string create(int adapters = 1);

    // Starts the simulator with `config` (interface and files are added).
    std::string startSimulator(nlohmann::json config);
    void stopSimulator();

    const std::string& adapter(int i) const { return m_toolIfs.at(static_cast<std::size_t>(i)); }
    // Takes a tool adapter down or up, or deletes it as when a USB adapter
    // is pulled; "" or an error.
    std::string setAdapterUp(int i, bool up);
    std::string removeAdapter(int i);
    // One more address on a tool adapter ("198.18.0.1/15": the bench range
    // for labs of more cameras than 192.0.2.0/24 holds); "" or an error.
    std::string addAddress(int i, const std::string& cidr);
    // Reaches `range` ("198.18.0.0/15") through the camera side as through a
    // router, from `toolAddress` (an address of the range): the tool side
    // then keeps one neighbour for thousands of cameras, where an address on
    // the link would need one each and overflow the kernel's table, which
    // all namespaces share (1024 entries). "" or an error.
    std::string routeRange(const std::string& toolAddress, const std::string& range);
    // The simulator's "addresses" for cameras in 198.18.0.0/15, whose
    // gateway and DNS server are the tool's 198.18.0.1.
    static nlohmann::json BenchmarkRange();
    // The camera side, where the simulator runs.
    const std::string& cameraNamespace() const { return m_camNs; }
    const std::string& cameraInterface() const { return m_simIf; }
    pid_t simulatorPid() const { return m_simPid; }
    // The simulator's state file, once it holds every change made so far.
    nlohmann::json state() const;
    // Replaces the state file while the simulator is stopped: its next start
    // takes the cameras from it (names of a test's own).
    void writeState(const nlohmann::json& state) const;
    std::string simulatorLog() const;

    // True when something at `ip` refuses a TCP connection, i.e. the address
    // is live on the camera side.
    static bool addressLive(const std::string& ip, std::chrono::milliseconds timeout);

private:
    std::string run(const std::vector<std::string>& args);
    std::string runIn(const std::string& ns, std::vector<std::string> args);

    std::string m_toolNs;
    std::string m_camNs;
    std::vector<std::string> m_toolIfs;
    std::string m_simIf;
    std::filesystem::path m_dir;
    std::string m_control; // the simulator's control socket
    qvsp::wire::UniqueFd m_homeNs;
    bool m_entered = false;
    bool m_toolNsMade = false;
    bool m_camNsMade = false;
    pid_t m_simPid = -1;
};
