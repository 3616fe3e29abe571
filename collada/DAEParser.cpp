#include "collada/DAEParser.h"

#include <pugixml.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFileInfo>
#include <QString>

#include "base/ConversionLog.h"
#include "base/MappedFile.h"
#include "collada/DAEGrammar.h"
#include "collada/ElCore.h"
#include "scene/ReadAll.h"

namespace {

bool IsText(const pugi::xml_node& n)
{
    return n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata;
}

// The element's text when its first child node is text. Text that comments
// or CDATA sections split into pieces is joined; a single piece is used in
// place, without a copy.
const char* ElementText(const pugi::xml_node& element, std::string& joined)
{
    const pugi::xml_node first = element.first_child();
    if (!first || !IsText(first))
        return nullptr;
    pugi::xml_node next = first.next_sibling();
    if (!next || !IsText(next))
        return first.value();
    joined = first.value();
    for (; next && IsText(next); next = next.next_sibling())
        joined += next.value();
    return joined.c_str();
}

bool HasContent(const char* text)
{
    for (const char* s = text; *s; ++s)
        if (*s != ' ' && *s != '\t' && *s != '\n')
            return true;
    return false;
}

// Texts shorter than this are left alone: giving back their pages would not
// lower the peak.
constexpr size_t kReleaseBytes = size_t(1) << 20;

// Gives the whole pages inside a long text back to the system once its
// element has taken what it needs (numbers parsed, or a copy): the parser's
// buffer holds the file until the tree is built, and without this the file's
// text and the arrays parsed from it would peak together. Nothing reads the
// text again.
void ReleaseText(const char* text)
{
    const size_t length = std::strlen(text);
    if (length >= kReleaseBytes)
        ReleasePages(text, length);
}

// Files from this size are mapped instead of read.
constexpr qint64 kMapBytes = qint64(4) << 20;

struct SWalkFrame {
    pugi::xml_node next; // next XML child to look at
    CDAEObject* parent;
    const SRuleTable* table;
};

// Builds the tree below the root without recursion, so any nesting depth is
// safe.
void BuildTree(const pugi::xml_node& rootElement, CEl_Collada& root)
{
    CDAEIndex& index = root.Index();
    std::vector<SWalkFrame> stack;
    stack.push_back({rootElement.first_child(), &root, &TopLevelRules()});
    std::string joined;
    while (!stack.empty()) {
        SWalkFrame& frame = stack.back();
        const pugi::xml_node xml = frame.next;
        if (!xml) {
            stack.pop_back();
            continue;
        }
        frame.next = xml.next_sibling();
        if (xml.type() != pugi::node_element)
            continue;
        const SElementRule* rule = FindRule(*frame.table, xml.name());
        if (!rule)
            continue; // unlisted: skipped with everything below it
        CDAEObject* parent = frame.parent;
        const SRuleTable* childTable = rule->pChildren ? rule->pChildren : frame.table;
        if (rule->bPassThrough) {
            stack.push_back({xml.first_child(), parent, childTable});
            continue;
        }
        std::unique_ptr<CDAEObject> object = CreateDAEObject(rule->eKind, parent);
        const char* text = ElementText(xml, joined);
        if (text && HasContent(text))
            object->SetContent(text);
        for (const pugi::xml_attribute& a : xml.attributes())
            object->SetAttribute(a.name(), a.value());
        const bool accepted = parent->AddChild(object.get());
        object->DropBorrowedContent();
        if (text && text == xml.first_child().value())
            ReleaseText(text); // a piece of the parser's buffer, not a joined copy
        if (!accepted)
            continue; // destroyed here, its subtree skipped
        CDAEObject* registered = index.Register(std::move(object));
        stack.push_back({xml.first_child(), registered, childTable});
    }
}

bool LoadParsed(const char* name, pugi::xml_document& doc, const pugi::xml_parse_result& result,
                std::unique_ptr<CEl_Collada>& out)
{
    if (!result) {
        ConversionLog(eLogError, "Failed to parse %s.", name);
        // The user needs to know what is wrong with the file, not only that
        // something is.
        if (result.status == pugi::status_no_document_element && result.offset == 0)
            ConversionLog(eLogError, "Error: '%s' is empty.", name);
        else
            ConversionLog(eLogError, "Error: '%s' is damaged at byte %lld: %s.", name,
                          static_cast<long long>(result.offset), result.description());
        return false;
    }
    const pugi::xml_node rootElement = doc.document_element();
    if (!rootElement || !EqualsNoCase(rootElement.name(), "collada")) {
        ConversionLog(eLogError, "%s is not a Collada document.", name);
        return true; // readable, but no tree
    }
    auto root = std::make_unique<CEl_Collada>();
    for (const pugi::xml_attribute& a : rootElement.attributes())
        root->SetAttribute(a.name(), a.value());
    CEl_Collada* document = root.get();
    out = std::move(root);
    BuildTree(rootElement, *document);
    // Every number has been parsed out of the text by now; release the XML
    // before resolving so the two never peak together with the scene.
    doc.reset();
    CDAEIndex& index = document->Index();
    for (CDAEObject* o : index.Objects(eCatAll))
        o->Resolve(index);
    ConversionLog(eLogInfo, "Complete.");
    return true;
}

} // namespace

bool CDAEParser::LoadDocument(const char* fileName, std::unique_ptr<CEl_Collada>& document)
{
    // An earlier document is never used for this file, and it should not
    // take up memory while this one loads.
    document.reset();
    if (!fileName)
        return false;
    ConversionLog(eLogInfo, "Parsing %s.", fileName);
    // A big file is mapped, so that its pages come from the system's cache
    // without a copy. Smaller ones are read, as is what cannot be mapped
    // (reading also tells why a file cannot be read at all): copying them
    // costs little. A mapped file that another program shortens during the
    // parse reads as zeros from there on; that parse is refused below.
    CMappedFile mapped;
    QByteArray bytes;
    char* data = nullptr;
    size_t size = 0;
    if (QFileInfo(QString::fromUtf8(fileName)).size() >= kMapBytes && mapped.Map(fileName)) {
        data = mapped.Data();
        size = mapped.Size();
    } else {
        QString why;
        if (!ReadAll(QString::fromUtf8(fileName), &bytes, &why)) {
            ConversionLog(eLogError, "Failed to parse %s.", fileName);
            ConversionLog(eLogError, "Error: '%s' cannot be read: %s.", fileName, why.toUtf8().constData());
            return false;
        }
        data = bytes.data();
        size = size_t(bytes.size());
    }
    // Parsed in place: the tree borrows text from the file's pages until
    // LoadParsed releases the XML.
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_buffer_inplace(data, size, pugi::parse_default, pugi::encoding_auto);
    const bool loaded = LoadParsed(fileName, doc, result, document);
    if (mapped.Lost()) {
        document.reset();
        if (loaded)
            ConversionLog(eLogError, "Failed to parse %s.", fileName);
        ConversionLog(eLogError, "Error: '%s' was shortened by another program while it was read.", fileName);
        return false;
    }
    return loaded;
}

bool CDAEParser::LoadDocumentFromMemory(const char* name, const void* data, size_t size,
                                        std::unique_ptr<CEl_Collada>& document)
{
    document.reset();
    if (!name)
        name = "";
    ConversionLog(eLogInfo, "Parsing %s.", name);
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_buffer(data, size, pugi::parse_default, pugi::encoding_auto);
    return LoadParsed(name, doc, result, document);
}
