// Shared helpers of the shell view tests: real temporary folders with named files, and a
// folder wrapper that forwards to the real file-system folder while changing one answer.
#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <ostream>
#include <string>

#include "platform/namespace.h"
#include "shellview/shell_ids.h"

// Readable QString output in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace velloria::testing {

// A temporary folder that creates files and sub-folders by relative name.
class TempFolder {
 public:
  TempFolder() { m_dir.setAutoRemove(true); }
  QString Path() const { return m_dir.path(); }
  QString PathOf(const QString& name) const { return m_dir.filePath(name); }
  void AddFile(const QString& name, const QByteArray& bytes = "x") const {
    QFile file(PathOf(name));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
  }
  void AddFolder(const QString& name) const { QDir(Path()).mkpath(name); }
  bool Has(const QString& name) const { return QFile::exists(PathOf(name)); }
  // The absolute id list of this folder, or of `name` inside it.
  PItemIDList IdOf(const QString& name = QString()) const {
    PItemIDList list = nullptr;
    shell::DesktopFolder()->ParseDisplayName((name.isEmpty() ? Path() : PathOf(name)).toStdString(), &list);
    return list;
  }

 private:
  QTemporaryDir m_dir;
};

// Forwards every call to a real folder; tests override single answers.
class WrappedFolder : public shell::ShellFolder2 {
 public:
  explicit WrappedFolder(std::shared_ptr<shell::ShellFolder2> real) : m_real(std::move(real)) {}
  shell::Status ParseDisplayName(std::string_view name, shell::IdList* list) override {
    return m_real->ParseDisplayName(name, list);
  }
  std::unique_ptr<shell::EnumIdList> EnumObjects(std::uint32_t flags) override { return m_real->EnumObjects(flags); }
  std::shared_ptr<shell::Unknown> BindToObject(shell::ConstIdList item, shell::Iid iid) override {
    return m_real->BindToObject(item, iid);
  }
  std::shared_ptr<shell::Unknown> CreateViewObject(shell::Iid iid) override { return m_real->CreateViewObject(iid); }
  std::shared_ptr<shell::Unknown> GetUIObjectOf(shell::ConstIdList item, shell::Iid iid) override {
    return m_real->GetUIObjectOf(item, iid);
  }
  int CompareIDs(int column, shell::ConstIdList a, shell::ConstIdList b) override {
    return m_real->CompareIDs(column, a, b);
  }
  std::uint32_t GetAttributesOf(shell::ConstIdList item, std::uint32_t request) override {
    return m_real->GetAttributesOf(item, request) & ~m_removedAttributes;
  }
  bool GetDisplayNameOf(shell::ConstIdList item, std::uint32_t flags, shell::StrRet* name) override {
    if (displayName) return displayName(item, flags, name);
    return m_real->GetDisplayNameOf(item, flags, name);
  }
  shell::Status SetNameOf(shell::ConstIdList item, std::string_view name, std::uint32_t flags,
                          shell::IdList* renamed) override {
    ++renameCalls;
    return m_real->SetNameOf(item, name, flags, renamed);
  }
  bool GetDetailsOf(shell::ConstIdList item, int column, shell::ShellDetails* details) override {
    return m_real->GetDetailsOf(item, column, details);
  }
  bool GetDefaultColumnState(int column, std::uint32_t* state) override {
    return m_real->GetDefaultColumnState(column, state);
  }
  QCollatorSortKey NameSortKey(shell::ConstIdList item) override { return m_real->NameSortKey(item); }
  shell::DetailSortKey DetailKey(shell::ConstIdList item, int column) override {
    return m_real->DetailKey(item, column);
  }

  void RemoveAttributes(std::uint32_t bits) { m_removedAttributes |= bits; }
  std::function<bool(shell::ConstIdList, std::uint32_t, shell::StrRet*)> displayName;
  int renameCalls = 0;

 private:
  std::shared_ptr<shell::ShellFolder2> m_real;
  std::uint32_t m_removedAttributes = 0;
};

// The real folder object of `path`.
inline std::shared_ptr<shell::ShellFolder2> RealFolder(const QString& path) {
  PItemIDList list = nullptr;
  shell::DesktopFolder()->ParseDisplayName(path.toStdString(), &list);
  IDListHolder holder(list);
  return std::dynamic_pointer_cast<shell::ShellFolder2>(shell::DesktopFolder()->BindToObject(list, shell::Iid::kShellFolder2));
}

}  // namespace velloria::testing
