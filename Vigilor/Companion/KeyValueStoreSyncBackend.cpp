#include "KeyValueStoreSyncBackend.h"

KeyValueStoreSyncBackend::KeyValueStoreSyncBackend(std::shared_ptr<CloudKeyValueStore> store, std::string key)
    : store_(std::move(store))
    , key_(std::move(key)) {
}

KeyValueStoreSyncBackend::~KeyValueStoreSyncBackend() {
    stopObserving();
}

bool KeyValueStoreSyncBackend::write(const std::string& data) {
    const bool kept = store_->setData(key_, data);
    store_->synchronize();
    return kept;
}

// Every notice counts as a change, whatever its reason and whichever keys it names.
void KeyValueStoreSyncBackend::startObserving(std::function<void()> onChange) {
    stopObserving();
    observer_ = store_->addExternalChangeObserver(std::move(onChange));
    store_->synchronize();
}

void KeyValueStoreSyncBackend::stopObserving() {
    if (observer_)
        store_->removeExternalChangeObserver(*observer_);
    observer_.reset();
}
