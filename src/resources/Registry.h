// Named resources of one kind. Values live in map nodes, so a reference handed out
// stays valid for the whole run; entries are never erased.
#pragma once

#include "core/Fatal.h"

#include <map>
#include <string>
#include <string_view>

template <typename Value>
class ResourceRegistry {
public:
    virtual ~ResourceRegistry() = default;
    virtual std::string kindName() const = 0;

    // The stored value; an absent name is fatal.
    Value& get(std::string_view name) {
        Value* value = find(name);
        if (!value) {
            fatalError("No such %s: '%.*s'.", kindName().c_str(), static_cast<int>(name.size()),
                       name.data());
        }
        return *value;
    }

    // Plain lookup: null when the name is absent, and no message.
    Value* find(std::string_view name) {
        auto it = entries_.find(name);
        return it == entries_.end() ? nullptr : &it->second;
    }

    // The stored value, inserting the kind's default first when the name is absent.
    Value& entry(std::string_view name) {
        auto it = entries_.find(name);
        if (it == entries_.end()) it = entries_.emplace(std::string(name), Value()).first;
        return it->second;
    }

    size_t size() const { return entries_.size(); }

protected:
    std::map<std::string, Value, std::less<>> entries_;
};

// A registry whose kinds can be bound to the GL state, one current entry at a time.
template <typename Value>
class UsableRegistry : public ResourceRegistry<Value> {
public:
    // Makes the named entry current and binds it; an absent name is fatal before
    // anything changes.
    void use(std::string_view name) {
        this->get(name);
        current_.assign(name.data(), name.size());
        onUse(current_);
    }

    // Unbinds the current entry; fatal when nothing is in use. `current()` still
    // names the entry while onUnuse runs.
    void unuse() {
        if (current_.empty()) fatalError("Cannot unuse: No %s in use.", this->kindName().c_str());
        onUnuse();
        current_.clear();
    }

    const std::string& current() const { return current_; }

protected:
    virtual void onUse(const std::string& name) { (void)name; }
    virtual void onUnuse() {}

    std::string current_;
};
