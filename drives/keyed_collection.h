// A collection of automation objects looked up by text key, as the two lists keep them:
// the key is the list position of the item added for the object, written in decimal.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/hresults.h"
#include "base/result.h"

namespace ombrevale {

template <class T>
class KeyedCollection {
public:
    // Keys are unique: a second object under a key already in use is refused.
    Status Add(const std::wstring& key, std::shared_ptr<T> item) {
        if (!item) return Failure{kNoObject, L"Пустая ссылка на объект для ключа «" + key + L"»."};
        auto [it, inserted] = items_.try_emplace(key, std::move(item));
        if (!inserted) return Failure{kKeyAlreadyUsed, L"Ключ «" + key + L"» уже связан с элементом коллекции."};
        return Ok();
    }

    Result<std::shared_ptr<T>> Item(const std::wstring& key) const {
        auto it = items_.find(key);
        if (it == items_.end()) return Failure{kNoItemWithKey, L"В коллекции нет элемента с ключом «" + key + L"»."};
        return it->second;
    }

    std::size_t Count() const { return items_.size(); }

private:
    std::map<std::wstring, std::shared_ptr<T>> items_;
};

// The key of a list position.
inline std::wstring PositionKey(std::int16_t position) { return std::to_wstring(position); }

}  // namespace ombrevale
