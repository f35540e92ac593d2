// A camera's SOAP answer as the ONVIF client reads it: the envelope, a
// fault's code chain resolved against the namespaces in scope, and the
// answer element taken apart and written back (what a Set sends of a Get's
// configuration).

#include "onvifc/Soap.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

void walk(onvifc::wire::Node node, int depth) {
    if (node == nullptr || depth > 64) {
        return;
    }
    (void)onvifc::wire::text(node);
    (void)onvifc::wire::attribute(node, "token");
    for (onvifc::wire::Node c = onvifc::wire::firstChild(node); c != nullptr; c = c->next) {
        walk(c, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const long status : {200L, 400L, 401L, 500L}) {
        onvifc::Reply reply = onvifc::ReadReply(status, text, 1024 * 1024);
        walk(reply.body, 0);
        if (reply.body != nullptr) {
            // The configuration sent back must itself read as XML again.
            const std::string again =
                onvifc::wire::serialize(reply.body, onvifc::kMediaNs, "trt", "Configuration");
            if (!again.empty() && !onvifc::wire::XmlDocument::parse(again, 2 * 1024 * 1024)) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
