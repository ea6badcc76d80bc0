#include "table_fixture.h"

#include <stdexcept>

#include "kit_resources.h"

namespace upkit::test {

TableBytes& TableBytes::text(const std::string& value)
{
    bytes_.insert(bytes_.end(), value.begin(), value.end());
    bytes_.push_back(0);
    return *this;
}

TableBytes& TableBytes::word(std::uint16_t value)
{
    bytes_.push_back(static_cast<std::uint8_t>(value));
    bytes_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

std::vector<std::uint8_t> TableBytes::end() const
{
    std::vector<std::uint8_t> done = bytes_;
    done.push_back(0);
    done.push_back(0);
    return done;
}

KitModule::KitModule() : module_path_(dir_ / "KIT.DLL")
{
    fs::copy_file(TABLE_FIXTURE_MODULE, module_path_);
    update_ = BeginUpdateResourceA(module_path_.string().c_str(), FALSE);
    if (!update_)
        throw std::runtime_error("cannot update the fixture module");
}

KitModule::~KitModule()
{
    KitInstance = nullptr;
    if (update_)
        EndUpdateResourceA(update_, TRUE);
    if (module_)
        FreeLibrary(module_);
}

void KitModule::add_table(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> copy = bytes;
    if (!UpdateResourceA(update_, MAKEINTRESOURCEA(10), name.c_str(), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                         copy.data(), static_cast<DWORD>(copy.size())))
        throw std::runtime_error("cannot add table " + name);
}

void KitModule::add_archive(unsigned id, const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint8_t> copy = bytes;
    if (!UpdateResourceA(update_, KIT_ARCHIVE_TYPE, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US),
                         copy.data(), static_cast<DWORD>(copy.size())))
        throw std::runtime_error("cannot add archive " + std::to_string(id));
}

void KitModule::load()
{
    if (!EndUpdateResourceA(update_, FALSE))
        throw std::runtime_error("cannot write the fixture module");
    update_ = nullptr;
    module_ = LoadLibraryExA(module_path_.string().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module_)
        throw std::runtime_error("cannot load the fixture module");
    KitInstance = reinterpret_cast<HINSTANCE>(module_);
}

}  // namespace upkit::test
