#pragma once

#include <QString>

namespace aph {

// A module loaded with dlopen: found by file, started once with
// Initialize, entered through IniProc, and at the end stopped with
// Finalize and unloaded.
class TModuleLoader
{
public:
    explicit TModuleLoader(QString file);
    ~TModuleLoader();
    TModuleLoader(const TModuleLoader&) = delete;
    TModuleLoader& operator=(const TModuleLoader&) = delete;

    // The module beside a program: in its ../lib/aph when installed, in
    // its ../lib in the build tree.
    static QString DefaultFile(const QString& programDir);

    const QString& File() const { return m_file; }
    bool Loaded() const { return m_handle != nullptr; }
    // Loads and initializes the module (once); an Exception says why not.
    void Load();
    // The module's entry (loads it first if needed).
    void IniProc();
    // Finalize, then unload; nothing when not loaded.
    void Unload();

private:
    QString m_file;
    void* m_handle = nullptr;
    void (*m_iniProc)() = nullptr;
    void (*m_finalize)() = nullptr;
};

} // namespace aph
