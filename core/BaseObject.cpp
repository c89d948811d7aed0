#include "core/BaseObject.h"

namespace audiolens {

void TObject::Release() {
    if (--RefCount == 0) delete this;
}

void TObject::RegisterOwned(TObject* owned) {
    if (owned) Owned.push_back(owned);
}

TObject::~TObject() {
    // Release in reverse order of registration, so later objects may use earlier ones while going.
    for (auto it = Owned.rbegin(); it != Owned.rend(); ++it)
        (*it)->Release();
}

} // namespace audiolens
