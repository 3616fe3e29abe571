#include "collada/DAEObject.h"

#include <cstring>

namespace {
inline char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}
} // namespace

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
            return false;
    return true;
}

bool EqualsNoCase(const char* a, const char* b)
{
    if (!a || !b)
        return a == b;
    return EqualsNoCase(std::string_view(a), std::string_view(b));
}

std::unique_ptr<char[]> DupString(const char* text)
{
    if (!text)
        return nullptr;
    const size_t n = std::strlen(text);
    std::unique_ptr<char[]> copy(new char[n + 1]);
    std::memcpy(copy.get(), text, n + 1);
    return copy;
}

CDAEObject::~CDAEObject() = default;

bool CDAEObject::SetAttribute(const char* name, const char* value)
{
    if (EqualsNoCase(name, "id"))
        m_pszId = DupString(value);
    else if (EqualsNoCase(name, "name"))
        m_pszName = DupString(value);
    else if (EqualsNoCase(name, "sid"))
        m_pszSid = DupString(value);
    else
        return false;
    return true;
}

bool CDAEObject::BorrowsContent(EElementKind kind)
{
    return kind == eEl_p || kind == eEl_vcount || kind == eEl_v;
}

bool CDAEObject::SetContent(const char* text)
{
    if (BorrowsContent(m_eKind)) {
        m_pszContent.reset();
        m_pszBorrowed = text;
    } else {
        m_pszContent = DupString(text);
    }
    return true;
}

const char* CDAEObject::GetContent() const
{
    return m_pszContent ? m_pszContent.get() : m_pszBorrowed;
}

bool CDAEObject::AddChild(CDAEObject* child)
{
    if (!child)
        return false;
    if (m_pLastChild)
        m_pLastChild->m_pNextSibling = child;
    else
        m_pFirstChild = child;
    m_pLastChild = child;
    return true;
}

bool CDAEObject::Resolve(CDAEIndex&)
{
    return true;
}

const char* DAEElementName(EElementKind kind)
{
    static const char* const kNames[] = {"",
#define MW_DAE_NAME(n) #n,
                                         MW_DAE_ELEMENT_KINDS(MW_DAE_NAME)
#undef MW_DAE_NAME
    };
    return kind > eEl_none && kind < eEl_count ? kNames[kind] : "";
}
