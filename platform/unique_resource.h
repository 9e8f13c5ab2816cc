#pragma once

#include <utility>

namespace orvane {

// Owns one system resource (a file descriptor, a Win32 handle) and closes it
// when it goes out of scope. Traits names the resource's type, its empty
// value, what counts as one that is open and how it is closed.
template <typename Traits>
class UniqueResource {
  public:
    using Resource = typename Traits::Resource;

    UniqueResource() = default;
    explicit UniqueResource(Resource resource) : resource_(resource) {}
    ~UniqueResource() { reset(); }
    UniqueResource(UniqueResource&& other) noexcept : resource_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Resource get() const { return resource_; }
    bool valid() const { return Traits::valid(resource_); }
    Resource release() { return std::exchange(resource_, Traits::none()); }
    void reset(Resource resource = Traits::none()) {
        if (valid())
            Traits::close(resource_);
        resource_ = resource;
    }

  private:
    Resource resource_ = Traits::none();
};

}  // namespace orvane
