#include "agreement/TCustomSchemeProxy.h"

#include "agreement/TSablotEngine.h"
#include "base/LetterCase.h"

TCustomSchemeProxy::~TCustomSchemeProxy()
{
    SetEngine(nullptr);
}

void TCustomSchemeProxy::SetEngine(TSablotEngine* Engine)
{
    if (engine_ == Engine)
        return;
    if (engine_)
        engine_->UnregisterProxy(this);
    engine_ = Engine;
    if (engine_)
        engine_->RegisterProxy(this);
}

void TCustomSchemeProxy::AddScheme(const std::string& Scheme)
{
    if (ServesScheme(Scheme))
        throw EStringListError("String list does not allow duplicates");
    schemes_.push_back(Scheme);
}

bool TCustomSchemeProxy::ServesScheme(const std::string& Scheme) const
{
    for (const auto& s : schemes_)
        if (LetterCase::SameText(s, Scheme))
            return true;
    return false;
}
