#include "onvifc/wire/Xml.h"

#include <libxml/parser.h>

namespace onvifc::wire {

namespace {

std::string_view view(const xmlChar* text) {
    return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

bool element(Node node) {
    return node != nullptr && node->type == XML_ELEMENT_NODE;
}

// libxml2 reports malformed input on stderr by default; a camera that logs
// every bad request of a fuzzer or a scanner would drown its real messages.
void quiet(void*, const char*, ...) {}

} // namespace

std::optional<XmlDocument> XmlDocument::parse(std::string_view text, std::size_t limit) {
    if (text.size() > limit || text.find("<!DOCTYPE") != std::string_view::npos ||
        text.find("<!ENTITY") != std::string_view::npos)
        return std::nullopt;
    static const bool silenced = [] {
        xmlSetGenericErrorFunc(nullptr, quiet);
        return true;
    }();
    (void)silenced;
    // No network, no entity substitution, no DTD: the parser reads the bytes
    // it was given and nothing else.
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "message.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr)
        return std::nullopt;
    XmlDocument out;
    out.m_doc.reset(doc, Free{});
    if (out.root() == nullptr)
        return std::nullopt;
    return out;
}

Node XmlDocument::root() const {
    return m_doc ? xmlDocGetRootElement(m_doc.get()) : nullptr;
}

std::string_view localName(Node node) {
    return element(node) ? view(node->name) : std::string_view();
}

std::string_view namespaceOf(Node node) {
    return element(node) && node->ns ? view(node->ns->href) : std::string_view();
}

bool is(Node node, std::string_view ns, std::string_view local) {
    return element(node) && localName(node) == local && namespaceOf(node) == ns;
}

Node firstChild(Node node) {
    if (!element(node))
        return nullptr;
    for (Node c = node->children; c; c = c->next)
        if (element(c))
            return c;
    return nullptr;
}

Node child(Node node, std::string_view ns, std::string_view local) {
    if (!element(node))
        return nullptr;
    for (Node c = node->children; c; c = c->next)
        if (is(c, ns, local))
            return c;
    return nullptr;
}

Node childAnyNs(Node node, std::string_view local) {
    if (!element(node))
        return nullptr;
    for (Node c = node->children; c; c = c->next)
        if (element(c) && localName(c) == local)
            return c;
    return nullptr;
}

std::vector<Node> children(Node node, std::string_view ns, std::string_view local) {
    std::vector<Node> out;
    if (!element(node))
        return out;
    for (Node c = node->children; c; c = c->next)
        if (is(c, ns, local))
            out.push_back(c);
    return out;
}

std::string text(Node node) {
    if (!element(node))
        return {};
    xmlChar* content = xmlNodeGetContent(node);
    std::string out(view(content));
    xmlFree(content);
    const auto first = out.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = out.find_last_not_of(" \t\r\n");
    return out.substr(first, last - first + 1);
}

std::optional<std::string> attribute(Node node, std::string_view local) {
    if (!element(node))
        return std::nullopt;
    for (const xmlAttr* a = node->properties; a; a = a->next) {
        if (view(a->name) != local)
            continue;
        xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
        std::string out(view(value));
        xmlFree(value);
        return out;
    }
    return std::nullopt;
}

std::optional<std::pair<std::string, std::string>> qname(Node node, std::string_view text) {
    if (!element(node))
        return std::nullopt;
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    const auto colon = text.find(':');
    const std::string prefix(colon == std::string_view::npos ? std::string_view()
                                                             : text.substr(0, colon));
    const std::string_view local = colon == std::string_view::npos ? text : text.substr(colon + 1);
    if (local.empty() || local.find(':') != std::string_view::npos)
        return std::nullopt;
    // An unprefixed name takes the default namespace, as an element would.
    const xmlNs* ns =
        xmlSearchNs(node->doc, const_cast<xmlNode*>(node),
                    prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
    if (ns == nullptr && !prefix.empty())
        return std::nullopt;
    return std::pair(ns ? std::string(view(ns->href)) : std::string(), std::string(local));
}

void setText(Node node, std::string_view text) {
    if (!element(node))
        return;
    auto* target = const_cast<xmlNode*>(node);
    xmlNodeSetContent(target, nullptr);
    // AddContent stores the text as it is; SetContent would read entity
    // references in it.
    xmlNodeAddContentLen(target, reinterpret_cast<const xmlChar*>(text.data()),
                         static_cast<int>(text.size()));
}

Node ensureChild(Node node, std::string_view ns, std::string_view local) {
    if (!element(node))
        return nullptr;
    if (Node found = child(node, ns, local))
        return found;
    auto* parent = const_cast<xmlNode*>(node);
    const std::string href(ns);
    xmlNs* space =
        xmlSearchNsByHref(parent->doc, parent, reinterpret_cast<const xmlChar*>(href.c_str()));
    if (space == nullptr)
        space = xmlNewNs(parent, reinterpret_cast<const xmlChar*>(href.c_str()),
                         reinterpret_cast<const xmlChar*>("n0"));
    const std::string name(local);
    return xmlNewChild(parent, space, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
}

std::string serialize(Node node, std::string_view ns, std::string_view prefix,
                      std::string_view local) {
    if (!element(node))
        return {};
    const std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(xmlNewDoc(BAD_CAST "1.0"), xmlFreeDoc);
    xmlNode* copy = xmlDocCopyNode(const_cast<xmlNode*>(node), doc.get(), 1);
    if (copy == nullptr)
        return {};
    xmlDocSetRootElement(doc.get(), copy);
    const std::string href(ns);
    const std::string pre(prefix);
    xmlNs* space =
        xmlSearchNsByHref(doc.get(), copy, reinterpret_cast<const xmlChar*>(href.c_str()));
    if (space == nullptr)
        space = xmlNewNs(copy, reinterpret_cast<const xmlChar*>(href.c_str()),
                         reinterpret_cast<const xmlChar*>(pre.c_str()));
    if (space == nullptr) // the prefix is taken on the element itself
        space = xmlNewNs(copy, reinterpret_cast<const xmlChar*>(href.c_str()), nullptr);
    const std::string name(local);
    xmlNodeSetName(copy, reinterpret_cast<const xmlChar*>(name.c_str()));
    xmlSetNs(copy, space);
    // Names below that used prefixes declared further up in the answer get
    // their declarations here.
    xmlReconciliateNs(doc.get(), copy);
    const std::unique_ptr<xmlBuffer, void (*)(xmlBuffer*)> buffer(xmlBufferCreate(), xmlBufferFree);
    if (!buffer || xmlNodeDump(buffer.get(), doc.get(), copy, 0, 0) < 0)
        return {};
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                       static_cast<std::size_t>(xmlBufferLength(buffer.get())));
}

std::string tag(std::string_view name, std::string_view content) {
    std::string out;
    out.reserve(name.size() * 2 + content.size() + 5);
    out += '<';
    out += name;
    out += '>';
    out += content;
    out += "</";
    out += name;
    out += '>';
    return out;
}

std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace onvifc::wire
