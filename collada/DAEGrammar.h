#pragma once
// The grammar: which XML elements become objects, where. A document is read
// only as far as these tables name its elements; everything else (and all
// below it) is skipped.
#include <cstddef>
#include <memory>

#include "collada/DAEObject.h"

struct SElementRule;

struct SRuleTable {
    const SElementRule* pRows;
    size_t uiCount;
};

// One row: element name, the kind of object to make, whether the element is
// passed through (no object; its children go to the element's parent), and
// the table for its descendants (null: keep using the current table).
struct SElementRule {
    const char* pszName;
    EElementKind eKind;
    bool bPassThrough;
    const SRuleTable* pChildren;
};

// The rules for the children of the root element.
const SRuleTable& TopLevelRules();

// The first row of the table whose name equals the element name without
// regard to ASCII case, or null.
const SElementRule* FindRule(const SRuleTable& table, const char* elementName);

// Makes the object for a kind; parent is the object the new one will be
// offered to (node and ambient depend on it).
std::unique_ptr<CDAEObject> CreateDAEObject(EElementKind kind, CDAEObject* parent);
