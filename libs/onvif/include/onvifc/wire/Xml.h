#pragma once
// A namespace-aware view of one SOAP message, over libxml2, for both ends:
// the camera reads requests with it, the client reads answers. Elements are
// matched by namespace URI and local name, never by the prefix the other
// side happened to choose.

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace onvifc::wire {

inline constexpr std::string_view kSoap12 = "http://www.w3.org/2003/05/soap-envelope";
inline constexpr std::string_view kSoap11 = "http://schemas.xmlsoap.org/soap/envelope/";
inline constexpr std::string_view kDevice = "http://www.onvif.org/ver10/device/wsdl";
inline constexpr std::string_view kMedia = "http://www.onvif.org/ver10/media/wsdl";
inline constexpr std::string_view kImaging = "http://www.onvif.org/ver20/imaging/wsdl";
inline constexpr std::string_view kSchema = "http://www.onvif.org/ver10/schema";
inline constexpr std::string_view kError = "http://www.onvif.org/ver10/error";
inline constexpr std::string_view kWsse =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-secext-1.0.xsd";
inline constexpr std::string_view kWsu =
    "http://docs.oasis-open.org/wss/2004/01/oasis-200401-wss-wssecurity-utility-1.0.xsd";
inline constexpr std::string_view kAddressing = "http://schemas.xmlsoap.org/ws/2004/08/addressing";
inline constexpr std::string_view kDiscovery = "http://schemas.xmlsoap.org/ws/2005/04/discovery";
inline constexpr std::string_view kNetworkVideo = "http://www.onvif.org/ver10/network/wsdl";

// Requests larger than this are refused unparsed: every request of the
// services fits in a few kilobytes.
inline constexpr std::size_t kMaxDocumentBytes = 256 * 1024;

using Node = const xmlNode*;

class XmlDocument {
public:
    // Nothing for text that is not well-formed XML, longer than `limit`, or
    // carries a DOCTYPE (SOAP has none, and entity expansion is a way to
    // exhaust memory).
    static std::optional<XmlDocument> parse(std::string_view text,
                                            std::size_t limit = kMaxDocumentBytes);

    Node root() const;

private:
    struct Free {
        void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
    };
    std::shared_ptr<xmlDoc> m_doc;
};

bool is(Node node, std::string_view ns, std::string_view local);
std::string_view localName(Node node);
std::string_view namespaceOf(Node node);
// First element child, or the first one named (ns, local).
Node firstChild(Node node);
Node child(Node node, std::string_view ns, std::string_view local);
// Any namespace: for the lenient mode, where clients put names in the
// wrong one.
Node childAnyNs(Node node, std::string_view local);
std::vector<Node> children(Node node, std::string_view ns, std::string_view local);
// The element's text content, whitespace at both ends removed.
std::string text(Node node);
std::optional<std::string> attribute(Node node, std::string_view local);
// A QName written as text ("ter:NotAuthorized", a fault subcode or a
// discovery type), resolved against the namespaces in scope at `node`:
// {namespace, local name}; nothing when its prefix is not declared there.
std::optional<std::pair<std::string, std::string>> qname(Node node, std::string_view text);

// Editing a document of one's own (a copy of a camera's configuration that
// goes back to it changed): the element's text replaced, and a child named
// (ns, local) found or added at the end.
void setText(Node node, std::string_view text);
Node ensureChild(Node node, std::string_view ns, std::string_view local);
// `node` and everything below it as a standalone fragment, the root element
// renamed to (ns, local) with `prefix`, and every namespace it uses
// declared on it; what a Set request sends back of a Get's answer.
std::string serialize(Node node, std::string_view ns, std::string_view prefix,
                      std::string_view local);

// "<name>content</name>": content already escaped (or elements).
std::string tag(std::string_view name, std::string_view content);

// Text escaped for element content and attribute values.
std::string escape(std::string_view text);

} // namespace onvifc::wire
