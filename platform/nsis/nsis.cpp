#include "platform/nsis.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace platform::nsis {

StackItem* allocItem(size_t textCapacity)
{
    return static_cast<StackItem*>(std::calloc(1, offsetof(StackItem, text) + std::max<size_t>(textCapacity, 1)));
}

void freeItem(StackItem* item)
{
    std::free(item);
}

Installer::Installer(int stringSize)
    : stringSize_(std::max(stringSize, 1)), variables_(static_cast<size_t>(stringSize_) * kVariableCount, '\0')
{
}

Installer::~Installer()
{
    while (top_) {
        StackItem* next = top_->next;
        freeItem(top_);
        top_ = next;
    }
}

void Installer::push(const std::string& text)
{
    StackItem* item = allocItem(static_cast<size_t>(stringSize_));
    if (!item)
        throw std::bad_alloc();
    std::memcpy(item->text, text.data(), std::min(text.size(), static_cast<size_t>(stringSize_) - 1));
    item->next = top_;
    top_ = item;
}

bool Installer::pop(std::string& text)
{
    if (!top_)
        return false;
    StackItem* item = top_;
    text.assign(item->text, strnlen(item->text, static_cast<size_t>(stringSize_)));
    top_ = item->next;
    freeItem(item);
    return true;
}

size_t Installer::depth() const
{
    size_t n = 0;
    for (const StackItem* item = top_; item; item = item->next)
        ++n;
    return n;
}

std::string Installer::variable(int index) const
{
    if (index < 0 || index >= kVariableCount)
        return std::string();
    const char* slot = variables_.data() + static_cast<size_t>(index) * stringSize_;
    return std::string(slot, strnlen(slot, static_cast<size_t>(stringSize_)));
}

void Installer::setVariable(int index, const std::string& text)
{
    if (index < 0 || index >= kVariableCount)
        return;
    char* slot = variables_.data() + static_cast<size_t>(index) * stringSize_;
    const size_t n = std::min(text.size(), static_cast<size_t>(stringSize_) - 1);
    std::memcpy(slot, text.data(), n);
    std::memset(slot + n, 0, static_cast<size_t>(stringSize_) - n);
}

void Installer::call(ExportFunction function)
{
    function(nullptr, stringSize_, variables_.data(), &top_, &extra_);
}

void Installer::call(ExportFunction function, const std::vector<std::string>& arguments)
{
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it)
        push(*it);
    call(function);
}

PluginLibrary::~PluginLibrary()
{
    unload();
}

bool PluginLibrary::load(const std::string& path, std::string* error)
{
    unload();
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_ && error) {
        const char* why = ::dlerror();
        *error = why ? why : "cannot load " + path;
    }
    return handle_ != nullptr;
}

ExportFunction PluginLibrary::exportNamed(const std::string& name) const
{
    if (!handle_)
        return nullptr;
    return reinterpret_cast<ExportFunction>(::dlsym(handle_, name.c_str()));
}

void PluginLibrary::unload()
{
    if (handle_)
        ::dlclose(handle_);
    handle_ = nullptr;
}

} // namespace platform::nsis
