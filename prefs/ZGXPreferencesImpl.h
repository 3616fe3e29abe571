#pragma once
// File access of the preference store: where store files live, how they are
// opened, replaced and stamped. One implementation per platform.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/ZGXTString.h"

// An open store file, or the temporary file that will replace it.
struct SZGXPrefStream {
    std::FILE* file = nullptr;
    CZGXTString path;     // the store file
    CZGXTString tempPath; // the file being written, when writing through a temporary
    bool forWriting = false;
};

class CZGXPreferencesImpl {
public:
    // Reading: opens the store file, first creating it (and its folder) with
    // the empty frame when it cannot be opened. Writing with useTemporary:
    // opens a new temporary file beside the store file. Null on failure.
    virtual std::unique_ptr<SZGXPrefStream> OpenStream(const CZGXTString& name, bool forWriting, int location,
                                                       bool useTemporary) = 0;
    // Closes the file. With commit, a written temporary file takes the store
    // file's place in one step; without, it is deleted. False when anything
    // failed, in which case the store file is as it was.
    virtual bool CloseStream(std::unique_ptr<SZGXPrefStream> stream, bool commit) = 0;
    // False when the store file does not exist; otherwise a 32-bit stamp that
    // changes whenever the file is rewritten.
    virtual bool GetStamp(const CZGXTString& name, int location, uint32_t& stamp) = 0;
    virtual ~CZGXPreferencesImpl() = default;

    // Copies the store file to its path followed by suffix, replacing an
    // older copy, so that a file that could not be read survives its
    // replacement.
    virtual bool KeepCopy(const CZGXTString& name, int location, const char* suffix) = 0;
    // The store file's path; empty for a name that cannot be a file name.
    virtual CZGXTString StorePath(const CZGXTString& name, int location) = 0;
};

// Linux and other POSIX systems: the configuration folders of QStandardPaths
// (per user, and the first system-wide one for all users), a vendor folder
// "Meshwright", and name + ".plist".
class CZGXPreferencesPosix : public CZGXPreferencesImpl {
public:
    std::unique_ptr<SZGXPrefStream> OpenStream(const CZGXTString& name, bool forWriting, int location,
                                               bool useTemporary) override;
    bool CloseStream(std::unique_ptr<SZGXPrefStream> stream, bool commit) override;
    bool GetStamp(const CZGXTString& name, int location, uint32_t& stamp) override;
    bool KeepCopy(const CZGXTString& name, int location, const char* suffix) override;
    CZGXTString StorePath(const CZGXTString& name, int location) override;

    // The folder holding the store files of a location (vendor folder
    // included); empty for an unknown location.
    static CZGXTString StoreFolder(int location);
    // Replaces the configuration folder of a location (the vendor folder is
    // still added below it); an empty folder restores the standard one.
    // Process-wide: tests point both locations at a temporary folder.
    static void SetBaseFolder(int location, const CZGXTString& folder);
};

// The text of a new store file: declaration, DOCTYPE and an empty dict.
extern const char kZGXPrefEmptyFrame[];

// Vendor folder below the configuration folders.
extern const char kZGXPrefVendorFolder[];
