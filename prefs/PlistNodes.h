#pragma once
// Small helpers of the store: walking property-list elements with pugixml,
// and its messages on the debugger output.
#include <pugixml.hpp>

#include <cstring>

#include "base/ConversionLog.h"
#include "base/ZGXTString.h"

// A store message, preceded by the store file's path on its own line. The
// texts end in a line feed of their own, which the output adds anyway.
inline void StoreDebugOutput(const CZGXTString& path, CZGXTString text)
{
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    DebugOutput("%s\n%s", path.c_str(), text.c_str());
}

inline pugi::xml_node FirstElement(pugi::xml_node parent)
{
    pugi::xml_node n = parent.first_child();
    while (n && n.type() != pugi::node_element)
        n = n.next_sibling();
    return n;
}

inline pugi::xml_node NextElement(pugi::xml_node node)
{
    pugi::xml_node n = node.next_sibling();
    while (n && n.type() != pugi::node_element)
        n = n.next_sibling();
    return n;
}

inline bool IsElement(pugi::xml_node node, const char* name)
{
    return node && node.type() == pugi::node_element && std::strcmp(node.name(), name) == 0;
}

// All character data of an element (text and CDATA sections), in order.
inline CZGXTString TextOf(pugi::xml_node node)
{
    CZGXTString text;
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            text += c.value();
    return text;
}

// Parse options of store files: declaration and DOCTYPE survive a rewrite,
// comments too, and white space is kept only where it is a whole value.
constexpr unsigned kPlistParseFlags = pugi::parse_default | pugi::parse_declaration | pugi::parse_doctype |
                                      pugi::parse_comments | pugi::parse_ws_pcdata_single;
