// Loading a store file: the frame that is missing is rebuilt, entries that
// cannot be read fail the load with the line of the fault.
#include "prefs/ZGXPreferences.h"

#include <algorithm>
#include <vector>

#include "prefs/PlistNodes.h"

namespace {

bool IsWhiteSpace(const char* s)
{
    for (; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\n' && *s != '\r')
            return false;
    return true;
}

// Line of a parsed element, from 1; 0 for an element added after parsing.
int LineOf(pugi::xml_node node, const std::string& bytes)
{
    const ptrdiff_t offset = node.offset_debug();
    if (offset < 0 || size_t(offset) > bytes.size())
        return 0;
    return 1 + int(std::count(bytes.begin(), bytes.begin() + offset, '\n'));
}

// Deepest nesting a store file may have. The program's own keys need seven
// levels; the printer indents every line by its depth, so a file nested
// thousands deep would take minutes to save and be written back thousands of
// times larger.
constexpr int kMaxDepth = 64;

// The first node nested deeper than kMaxDepth below top, or none. Walks
// without recursion.
pugi::xml_node TooDeep(pugi::xml_node top)
{
    int depth = 1;
    pugi::xml_node n = top.first_child();
    while (n) {
        if (depth > kMaxDepth)
            return n;
        if (n.first_child()) {
            n = n.first_child();
            ++depth;
            continue;
        }
        while (!n.next_sibling()) {
            n = n.parent();
            --depth;
            if (!n || n == top)
                return pugi::xml_node();
        }
        n = n.next_sibling();
    }
    return pugi::xml_node();
}

// Indentation between entries is dropped so that entries added later are
// laid out like the rest.
void DropWhiteSpace(pugi::xml_node container)
{
    pugi::xml_node n = container.first_child();
    while (n) {
        pugi::xml_node next = n.next_sibling();
        if (n.type() == pugi::node_pcdata && IsWhiteSpace(n.value()))
            container.remove_child(n);
        n = next;
    }
}

// Checks dictionaries and arrays below the root dict, in document order,
// without recursion: a deeply nested file must not exhaust the stack.
bool CheckEntries(pugi::xml_node rootDict, const std::string& bytes, CZGXTString& error)
{
    struct SLevel {
        pugi::xml_node container;
        pugi::xml_node next; // next element to look at
        bool dict;
    };
    DropWhiteSpace(rootDict);
    std::vector<SLevel> stack{{rootDict, FirstElement(rootDict), true}};
    while (!stack.empty()) {
        SLevel& level = stack.back();
        pugi::xml_node e = level.next;
        if (!e) {
            stack.pop_back();
            continue;
        }
        pugi::xml_node value = e;
        if (level.dict) {
            if (!IsElement(e, "key")) {
                error = StrFormat("ERROR: Missing <key> tag on line: %d\n", LineOf(e, bytes));
                return false;
            }
            value = NextElement(e);
            if (!value) {
                error = "ERROR: Key missing value!";
                return false;
            }
            if (IsElement(value, "key")) {
                error = StrFormat("ERROR: Key missing value on line: %d\n", LineOf(value, bytes));
                return false;
            }
        } else if (IsElement(e, "key")) {
            error = StrFormat("ERROR: Array elements cannot contain a <key> tag! Line: %d\n", LineOf(e, bytes));
            return false;
        }
        level.next = NextElement(value);
        const bool dict = IsElement(value, "dict");
        if (dict || IsElement(value, "array")) {
            DropWhiteSpace(value);
            stack.push_back(SLevel{value, FirstElement(value), dict});
        }
    }
    return true;
}

} // namespace

bool CZGXPreferences::Repair(pugi::xml_document& doc, const std::string& bytes, CZGXTString& error) const
{
    const CZGXTString source = Path();
    auto warn = [&source](const char* text) { StoreDebugOutput(source, text); };

    if (pugi::xml_node deep = TooDeep(doc)) {
        error = StrFormat("ERROR: Entries nested deeper than %d levels on line: %d\n", kMaxDepth, LineOf(deep, bytes));
        return false;
    }

    pugi::xml_node first = doc.first_child();
    if (!first || first.type() != pugi::node_declaration) {
        warn("WARNING: No declaration found at the start. The declaration will be recreated.\n");
        pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
        if (!decl) {
            error = "Error: Failed to recreate the declaration.\n";
            return false;
        }
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "utf-8";
    }

    pugi::xml_node root = doc.document_element();
    if (!root) {
        warn("WARNING: No root <plist> tag found. Tag will be recreated.\n");
        root = doc.append_child("plist");
        if (!root) {
            error = "ERROR: Failed to recreate <plist> tag. Out of memory!\n";
            return false;
        }
        root.append_attribute("version") = "1.0";
    } else if (!IsElement(root, "plist")) {
        // Another document: adding a second root would make it no XML at all.
        error = StrFormat("ERROR: The root element <%s> is not <plist>!\n", root.name());
        return false;
    }

    DropWhiteSpace(root);
    if (!IsElement(FirstElement(root), "dict")) {
        warn("WARNING: No <dict> tag found. Tag will be recreated.\n");
        // In front, so that the next load finds it first and adds no other.
        pugi::xml_node before = root.first_child();
        pugi::xml_node dict = before ? root.insert_child_before("dict", before) : root.append_child("dict");
        if (!dict) {
            error = "ERROR: Failed to recreate <dict> tag. Out of memory!\n";
            return false;
        }
    }
    return CheckEntries(FirstElement(root), bytes, error);
}
