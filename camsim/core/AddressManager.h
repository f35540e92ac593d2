#pragma once

#include "core/Camera.h"

#include "qvsp/wire/UniqueFd.h"

#include <map>
#include <memory>
#include <string>

namespace camsim {

// Puts the cameras' IPv4 addresses on the simulator's interface over
// rtnetlink, so that a camera really is reachable at the address it reports.
// Cameras may share an address; it stays until the last one leaves it.
class AddressManager {
public:
    static std::unique_ptr<AddressManager> open(const std::string& interfaceName,
                                                std::string& error);
    ~AddressManager();
    AddressManager(const AddressManager&) = delete;
    AddressManager& operator=(const AddressManager&) = delete;

    bool acquire(std::uint32_t ip, int prefix, std::string& error);
    void release(std::uint32_t ip, int prefix);

    // Moves a camera from its old address to its new one.
    bool move(const Camera& before, const Camera& after, std::string& error);

    AddressManager(qvsp::wire::UniqueFd socket, unsigned index);

private:
    int request(int type, std::uint32_t ip, int prefix);

    qvsp::wire::UniqueFd m_socket;
    unsigned m_index;
    std::uint32_t m_sequence = 0;
    std::map<std::pair<std::uint32_t, int>, int> m_users;
};

} // namespace camsim
