#pragma once

#include <memory>
#include <vector>

// A dynamic array with value semantics whose storage is shared between copies
// until one of them writes (copy-on-write). Mesh arrays are large and touching
// fresh memory is slow, so a model copy handed to a worker task, or the
// "as loaded" copy of the arrays, costs nothing until the data really diverges.
//
// Reading never detaches. Writing goes through edit(), assign() or clear().
// A detach copies the data only while another copy still shares it.
template <class T>
class SharedArray {
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_iterator;

    SharedArray() = default;
    SharedArray(std::vector<T> values) { assign(std::move(values)); }
    SharedArray(std::initializer_list<T> values) { assign(std::vector<T>(values)); }

    std::size_t size() const { return data_ ? data_->size() : 0; }
    bool empty() const { return size() == 0; }
    const T& operator[](std::size_t i) const { return (*data_)[i]; }
    const T* data() const { return data_ ? data_->data() : nullptr; }
    const_iterator begin() const { return vec().begin(); }
    const_iterator end() const { return vec().end(); }
    const T& front() const { return data_->front(); }
    const T& back() const { return data_->back(); }

    const std::vector<T>& vec() const
    {
        static const std::vector<T> empty;
        return data_ ? *data_ : empty;
    }

    // Mutable access; copies the storage first if another array shares it.
    std::vector<T>& edit()
    {
        if (!data_)
            data_ = std::make_shared<std::vector<T>>();
        else if (data_.use_count() > 1)
            data_ = std::make_shared<std::vector<T>>(*data_);
        return *data_;
    }

    void assign(std::vector<T>&& values)
    {
        if (values.empty())
            data_.reset();
        else
            data_ = std::make_shared<std::vector<T>>(std::move(values));
    }
    void assign(const std::vector<T>& values) { assign(std::vector<T>(values)); }
    void clear() { data_.reset(); }

    // True when both arrays read the very same storage.
    bool sharesStorageWith(const SharedArray& other) const { return data_ && data_ == other.data_; }

    // Stable identity of the storage, for caches keyed by content identity.
    const void* storageId() const { return data_.get(); }

    friend bool operator==(const SharedArray& a, const SharedArray& b) { return a.vec() == b.vec(); }

private:
    std::shared_ptr<std::vector<T>> data_;
};
