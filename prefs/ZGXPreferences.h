#pragma once
// Named preference stores: one XML property-list file per name, read into
// memory, with typed values under slash-separated key paths. Reading repairs
// what it can; saving replaces the file in one step.
#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "base/ZGXTString.h"

class CZGXPreferencesImpl;

enum EZGXPrefLocation : int {
    ePrefUser = 0,     // per-user configuration folder
    ePrefAllUsers = 1, // all-users configuration folder
};

// Results of writes and removals.
enum EZGXPrefResult : int {
    ePrefDone = 0,
    ePrefNotFound = 1,
    ePrefEmptyKey = 2,
    ePrefNoDocument = 4, // not loaded, or the reload of a changed file failed
};

// Value types by code, with the element that holds them.
enum EZGXPrefType : int {
    ePrefString = 0,  // "string"
    ePrefInteger = 1, // "integer"
    ePrefReal = 2,    // "real"
    ePrefTrue = 3,    // "true"
    ePrefFalse = 4,   // "false"
    ePrefArray = 5,   // "array"
    ePrefDict = 6,    // "dict"
    ePrefData = 7,    // "data", Base64
};

class CZGXPreferences {
public:
    // No file access until Load.
    explicit CZGXPreferences(const CZGXTString& name, int location = ePrefUser);
    // With another file access (tests, other platforms).
    CZGXPreferences(const CZGXTString& name, int location, std::unique_ptr<CZGXPreferencesImpl> platform);
    ~CZGXPreferences(); // does not save
    CZGXPreferences(const CZGXPreferences&) = delete;
    CZGXPreferences& operator=(const CZGXPreferences&) = delete;

    // Reads the store file, creating it with an empty frame (and its folder)
    // when missing, and repairs a missing declaration, <plist> or <dict>.
    // False with a text in error when the file cannot be opened or its
    // entries are broken; the store then holds no values (reads give their
    // defaults) and the broken file is kept until a value is written: the
    // first save after that copies it to its name + ".damaged".
    // With watch, every later read or write first reloads the file when
    // another program has rewritten it (and nothing is unsaved here).
    bool Load(CZGXTString& error, bool watch = false);
    // Writes the store through a temporary file when a value was written
    // since the last save (or always with force, unless the file on disk
    // could not be read and nothing was written since). False when nothing
    // is loaded or the file could not be written; the old file then stays.
    bool Save(bool force = false);

    // Typed reads. The value is set when the key exists and holds that type;
    // otherwise the default is set when given and the value left alone when
    // not. True when the value came from the store.
    bool ReadBool(const CZGXTString& key, bool& value);
    bool ReadBool(const CZGXTString& key, bool& value, bool def);
    bool ReadInt(const CZGXTString& key, int32_t& value);
    bool ReadInt(const CZGXTString& key, int32_t& value, int32_t def);
    bool ReadReal(const CZGXTString& key, double& value);
    bool ReadReal(const CZGXTString& key, double& value, double def);
    bool ReadString(const CZGXTString& key, CZGXTString& value);
    bool ReadString(const CZGXTString& key, CZGXTString& value, const CZGXTString& def);
    bool ReadData(const CZGXTString& key, std::vector<uint8_t>& value);
    bool ReadData(const CZGXTString& key, std::vector<uint8_t>& value, const std::vector<uint8_t>& def);
    bool ReadStringArray(const CZGXTString& key, std::vector<CZGXTString>& value);
    bool ReadStringArray(const CZGXTString& key, std::vector<CZGXTString>& value, const std::vector<CZGXTString>& def);

    // The path exists, whatever its type (no reload check).
    bool HasKey(const CZGXTString& key) const;
    // The type code of the value at the path, or -1 when there is none.
    int TypeOf(const CZGXTString& key);
    // Removes the entry, then every dictionary on the path left empty by
    // that. EZGXPrefResult: done, not found, empty key, or no document.
    int RemoveKey(const CZGXTString& key);

    // Typed writes: create the missing dictionaries of the path, replace any
    // earlier value. EZGXPrefResult: done, empty key or no document.
    int WriteBool(const CZGXTString& key, bool value);
    int WriteInt(const CZGXTString& key, int32_t value);
    int WriteReal(const CZGXTString& key, double value);
    int WriteString(const CZGXTString& key, const CZGXTString& value);
    int WriteData(const CZGXTString& key, const void* bytes, size_t length);
    int WriteData(const CZGXTString& key, const std::vector<uint8_t>& bytes);
    int WriteStringArray(const CZGXTString& key, const std::vector<CZGXTString>& value);

    const CZGXTString& Name() const { return m_name; }
    bool IsLoaded() const { return m_doc != nullptr; }
    bool IsDirty() const { return m_bDirty; }
    // The file on disk could not be read and has not been replaced yet.
    bool IsDamaged() const { return m_bDamaged; }
    // The store file's path (empty for a name that cannot be a file name).
    CZGXTString Path() const;

    // Where the store of a name lives; the folder includes the vendor folder.
    static CZGXTString StorePath(const CZGXTString& name, int location = ePrefUser);
    static CZGXTString StoreFolder(int location = ePrefUser);
    // Replaces the configuration folder of a location for the whole process
    // (the vendor folder is still added below it); empty restores the
    // standard folder. Tests point both locations at a temporary folder.
    static void SetBaseFolder(int location, const CZGXTString& folder);

    // The components of a key path: leading, trailing and doubled slashes
    // add nothing.
    static std::vector<CZGXTString> SplitKey(const CZGXTString& key);
    // Turns a name into one key component: "%" becomes "%25" and "/" "%2F",
    // so a name cannot add levels to a path. UnescapeKey reverses it.
    static CZGXTString EscapeKey(const CZGXTString& component);
    static CZGXTString UnescapeKey(const CZGXTString& component);

private:
    bool ReloadIfChanged();
    pugi::xml_node RootDict() const;
    pugi::xml_node FindKeyElement(pugi::xml_node dict, const CZGXTString& component) const;
    pugi::xml_node FindValue(const std::vector<CZGXTString>& parts) const;
    pugi::xml_node ReadValue(const CZGXTString& key, const char* element, bool& ok);
    pugi::xml_node ReplaceValue(pugi::xml_node dict, const CZGXTString& component, const char* element);
    int PrepareWrite(const CZGXTString& key, const char* element, pugi::xml_node& value);
    bool Repair(pugi::xml_document& doc, const std::string& bytes, CZGXTString& error) const;
    void TakeStamp();

    std::unique_ptr<pugi::xml_document> m_doc;
    std::unique_ptr<CZGXPreferencesImpl> m_platform;
    CZGXTString m_name;
    uint32_t m_stamp = 0;
    bool m_bWatch = false;
    bool m_bDirty = false;
    bool m_bDamaged = false;
    int m_location = ePrefUser;
    // Key lookup per dictionary: key text -> its <key> element. Built on
    // first use, dropped whenever a dictionary may have left the document.
    mutable std::unordered_map<pugi::xml_node_struct*, std::unordered_map<CZGXTString, pugi::xml_node_struct*>> m_index;
};
