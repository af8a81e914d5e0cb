#pragma once

#include <functional>
#include <utility>

namespace qx375 {

// The song's unsaved-changes flag, read and written as a bool; the window
// hears of every change, to show it in its title.
class ModifiedFlag {
public:
    explicit ModifiedFlag(std::function<void(bool)> changed) : changed_(std::move(changed)) {}
    ModifiedFlag(const ModifiedFlag&) = delete;
    ModifiedFlag& operator=(const ModifiedFlag&) = delete;

    ModifiedFlag& operator=(bool value) {
        if (value != value_) {
            value_ = value;
            changed_(value);
        }
        return *this;
    }
    operator bool() const { return value_; }

private:
    bool value_ = false;
    std::function<void(bool)> changed_;
};

// Guards the flag across pure navigation: the grid refresh inside writes
// cells back and would otherwise mark the song changed.
class KeepModified {
public:
    explicit KeepModified(ModifiedFlag& modified) : modified_(modified), kept_(modified) {}
    ~KeepModified() { modified_ = kept_; }
    KeepModified(const KeepModified&) = delete;
    KeepModified& operator=(const KeepModified&) = delete;

private:
    ModifiedFlag& modified_;
    bool kept_;
};

} // namespace qx375
