#pragma once
// How a window that shows a store joins the reloads after a receive or a send: it holds
// one of the window slots (StoreWindows, exchange/Incoming.h) for its lifetime, filled
// with its own public reload, so that TReceiver::RefreshForms and the senders reach it
// while it is open and never after it has closed.

#include "exchange/Incoming.h"

#include <functional>
#include <utility>

class TReloadLink {
public:
    TReloadLink(std::function<void()>& slot, std::function<void()> reload) : FSlot(slot) { FSlot = std::move(reload); }
    ~TReloadLink() { FSlot = nullptr; }

    TReloadLink(const TReloadLink&) = delete;
    TReloadLink& operator=(const TReloadLink&) = delete;

private:
    std::function<void()>& FSlot;
};
