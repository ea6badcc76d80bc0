// The registry actions: reading, writing and deleting values and keys, in
// either registry view.
#include "driver_support.h"

#include <cstring>

#include "driver_actions.h"

namespace kit_driver {

namespace {

struct KeyPath {
    HKEY root;
    std::wstring sub;
};

KeyPath parse_key(const std::string& text)
{
    static const std::pair<const char*, HKEY> roots[] = {
        {"HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKCU", HKEY_CURRENT_USER},  {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKCR", HKEY_CLASSES_ROOT},  {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKU", HKEY_USERS},          {"HKEY_USERS", HKEY_USERS},
    };
    size_t slash = text.find('\\');
    std::string root = text.substr(0, slash);
    for (const auto& [name, key] : roots) {
        if (_stricmp(root.c_str(), name) == 0)
            return {key, slash == std::string::npos ? std::wstring() : to_wide(text.substr(slash + 1))};
    }
    throw UsageError("--key must start with HKLM, HKCU, HKCR or HKU (or their long names): " + text);
}

REGSAM view_flag(const Options& options)
{
    std::string view = options.get("view", "");
    if (view.empty())
        return 0;
    if (view == "32")
        return KEY_WOW64_32KEY;
    if (view == "64")
        return KEY_WOW64_64KEY;
    throw UsageError("--view is 32 or 64");
}

const char* type_name(DWORD type)
{
    switch (type) {
    case REG_NONE:
        return "REG_NONE";
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_BINARY:
        return "REG_BINARY";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
        return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
        return "REG_LINK";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_QWORD:
        return "REG_QWORD";
    default:
        return "unknown";
    }
}

std::wstring wide_from_bytes(const std::vector<unsigned char>& data)
{
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty())
        std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    return text;
}

json value_json(const std::wstring& name, DWORD type, const std::vector<unsigned char>& data)
{
    json out = {{"name", to_utf8(name)}, {"type", type_name(type)}, {"type_code", type}, {"size", data.size()}};
    switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::wstring text = wide_from_bytes(data);
        // The stored size includes the terminating NUL; a value written
        // without one is shown as it is.
        out["terminated"] = !text.empty() && text.back() == L'\0';
        while (!text.empty() && text.back() == L'\0')
            text.pop_back();
        out["data"] = to_utf8(text);
        break;
    }
    case REG_MULTI_SZ: {
        std::wstring text = wide_from_bytes(data);
        json list = json::array();
        size_t begin = 0;
        while (begin < text.size()) {
            size_t end = text.find(L'\0', begin);
            if (end == std::wstring::npos)
                end = text.size();
            if (end == begin && end + 1 >= text.size())
                break;  // the closing empty string
            list.push_back(to_utf8(text.substr(begin, end - begin)));
            begin = end + 1;
        }
        out["data"] = list;
        break;
    }
    case REG_DWORD:
        if (data.size() == 4) {
            std::uint32_t v;
            std::memcpy(&v, data.data(), 4);
            out["data"] = v;
        } else {
            out["data"] = hex_bytes(data.data(), data.size());
        }
        break;
    case REG_QWORD:
        if (data.size() == 8) {
            std::uint64_t v;
            std::memcpy(&v, data.data(), 8);
            out["data"] = v;
        } else {
            out["data"] = hex_bytes(data.data(), data.size());
        }
        break;
    default:
        out["data"] = hex_bytes(data.data(), data.size());
    }
    return out;
}

}  // namespace

// The values and subkeys of an open key, into `out`.
void add_key_contents(HKEY key, json& out)
{
    json values = json::array();
    for (DWORD i = 0;; ++i) {
        wchar_t name[16384];
        DWORD name_length = 16384, type = 0, size = 0;
        LONG status = RegEnumValueW(key, i, name, &name_length, nullptr, &type, nullptr, &size);
        if (status != ERROR_SUCCESS)
            break;
        std::vector<unsigned char> data(size);
        name_length = 16384;
        if (RegEnumValueW(key, i, name, &name_length, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
            break;
        data.resize(size);
        values.push_back(value_json(std::wstring(name, name_length), type, data));
    }
    json subkeys = json::array();
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD name_length = 256;
        if (RegEnumKeyExW(key, i, name, &name_length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        subkeys.push_back(to_utf8(std::wstring(name, name_length)));
    }
    out["exists"] = true;
    out["values"] = values;
    out["subkeys"] = subkeys;
}

json act_reg_get(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    HKEY key;
    LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_READ | view_flag(options), &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return {{"key", key_text}, {"exists", false}};
    if (status != ERROR_SUCCESS)
        throw Failure("cannot open " + key_text + ": " + last_error_text(status));

    json out = {{"key", key_text}};
    if (options.has("value")) {
        std::wstring name = to_wide(options.get("value"));
        DWORD type = 0, size = 0;
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND) {
            RegCloseKey(key);
            out["exists"] = false;
            out["key_exists"] = true;
            return out;
        }
        std::vector<unsigned char> data(size);
        if (status == ERROR_SUCCESS)
            status = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
        RegCloseKey(key);
        if (status != ERROR_SUCCESS)
            throw Failure("cannot read " + options.get("value") + ": " + last_error_text(status));
        data.resize(size);
        out.update(value_json(name, type, data));
        out["exists"] = true;
        return out;
    }
    add_key_contents(key, out);
    RegCloseKey(key);
    return out;
}

// Several whole keys in one run (each --key), in one view: a key that cannot
// be opened is reported with its error, and the others are read all the
// same.
json act_reg_dump(const Options& options)
{
    const REGSAM view = view_flag(options);
    json keys = json::array();
    for (const std::string& key_text : options.all("key")) {
        json out = {{"key", key_text}, {"exists", false}};
        KeyPath path = parse_key(key_text);
        HKEY key;
        LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_READ | view, &key);
        if (status == ERROR_SUCCESS) {
            add_key_contents(key, out);
            RegCloseKey(key);
        } else if (status != ERROR_FILE_NOT_FOUND) {
            out["error"] = "cannot open " + key_text + ": " + last_error_text(status);
        }
        keys.push_back(out);
    }
    return {{"keys", keys}};
}

json act_reg_set(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    std::wstring name = to_wide(options.get("value", ""));
    std::string type_text = options.get("type", "sz");
    std::vector<unsigned char> data;
    DWORD type;
    auto append_wide = [&](const std::wstring& text) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.c_str());
        data.insert(data.end(), bytes, bytes + (text.size() + 1) * sizeof(wchar_t));
    };
    if (type_text == "sz" || type_text == "expand_sz") {
        type = type_text == "sz" ? REG_SZ : REG_EXPAND_SZ;
        append_wide(to_wide(options.get("data")));
    } else if (type_text == "multi_sz") {
        type = REG_MULTI_SZ;
        for (const auto& item : options.all("data"))
            append_wide(to_wide(item));
        append_wide(L"");
    } else if (type_text == "dword") {
        type = REG_DWORD;
        auto v = static_cast<std::uint32_t>(Options::parse_number("data", options.get("data")));
        data.resize(4);
        std::memcpy(data.data(), &v, 4);
    } else if (type_text == "qword") {
        type = REG_QWORD;
        auto v = static_cast<std::uint64_t>(Options::parse_number("data", options.get("data")));
        data.resize(8);
        std::memcpy(data.data(), &v, 8);
    } else if (type_text == "binary") {
        type = REG_BINARY;
        data = parse_hex(options.get("data", ""));
    } else {
        throw UsageError("--type is sz, expand_sz, multi_sz, dword, qword or binary");
    }
    HKEY key;
    LONG status = RegCreateKeyExW(path.root, path.sub.c_str(), 0, nullptr, 0, KEY_WRITE | view_flag(options), nullptr,
                                  &key, nullptr);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot create " + key_text + ": " + last_error_text(status));
    status = RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot write the value: " + last_error_text(status));
    return {{"key", key_text}, {"value", to_utf8(name)}, {"type", type_name(type)}, {"size", data.size()}};
}

json act_reg_delete(const Options& options)
{
    std::string key_text = options.get("key");
    KeyPath path = parse_key(key_text);
    REGSAM view = view_flag(options);
    if (options.has("value")) {
        HKEY key;
        LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_SET_VALUE | view, &key);
        if (status == ERROR_FILE_NOT_FOUND)
            return {{"key", key_text}, {"existed", false}};
        if (status != ERROR_SUCCESS)
            throw Failure("cannot open " + key_text + ": " + last_error_text(status));
        status = RegDeleteValueW(key, to_wide(options.get("value")).c_str());
        RegCloseKey(key);
        if (status == ERROR_FILE_NOT_FOUND)
            return {{"key", key_text}, {"existed", false}};
        if (status != ERROR_SUCCESS)
            throw Failure("cannot delete the value: " + last_error_text(status));
        return {{"key", key_text}, {"existed", true}};
    }
    if (path.sub.empty())
        throw UsageError("will not delete a root key");
    HKEY key;
    LONG status = RegOpenKeyExW(path.root, path.sub.c_str(), 0, KEY_ALL_ACCESS | view, &key);
    if (status == ERROR_FILE_NOT_FOUND)
        return {{"key", key_text}, {"existed", false}};
    if (status != ERROR_SUCCESS)
        throw Failure("cannot open " + key_text + ": " + last_error_text(status));
    status = RegDeleteTreeW(key, nullptr);
    RegCloseKey(key);
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyExW(path.root, path.sub.c_str(), view, 0);
    if (status != ERROR_SUCCESS)
        throw Failure("cannot delete " + key_text + ": " + last_error_text(status));
    return {{"key", key_text}, {"existed", true}};
}

}  // namespace kit_driver
