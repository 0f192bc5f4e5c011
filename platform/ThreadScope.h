#pragma once

namespace platform {

// A flag of the calling thread that is set while an object of the derived
// class `Scope` lives on it, and back as it was when the object goes: scopes
// nest. Each derived class has a flag of its own.
template <class Scope>
class ThreadScope {
public:
    ThreadScope()
        : previous_(flag())
    {
        flag() = true;
    }
    ~ThreadScope() { flag() = previous_; }
    ThreadScope(const ThreadScope&) = delete;
    ThreadScope& operator=(const ThreadScope&) = delete;

    // True while one lives on this thread.
    static bool active() { return flag(); }

private:
    static bool& flag()
    {
        thread_local bool set = false;
        return set;
    }

    bool previous_;
};

} // namespace platform
