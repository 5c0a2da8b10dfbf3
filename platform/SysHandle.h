#pragma once
// One operating-system handle (a file descriptor), owned: closed when destroyed or
// replaced. -1 when empty.

class TSysHandle {
public:
    TSysHandle() = default;
    explicit TSysHandle(int handle) : FHandle(handle) {}
    TSysHandle(TSysHandle&& other) noexcept : FHandle(other.Release()) {}
    TSysHandle& operator=(TSysHandle&& other) noexcept;
    TSysHandle(const TSysHandle&) = delete;
    TSysHandle& operator=(const TSysHandle&) = delete;
    ~TSysHandle() { Close(); }

    // Closes now; the result of the close (0, or -1 with errno), so that a late write
    // error that the close reports can be raised. 0 when empty.
    int Close();
    // Closes the old handle, then holds this one.
    void Assign(int handle);
    int Get() const { return FHandle; }
    bool IsOpen() const { return FHandle >= 0; }
    // Hands the handle over to the caller, who closes it; this object becomes empty.
    int Release();

private:
    int FHandle = -1;
};
