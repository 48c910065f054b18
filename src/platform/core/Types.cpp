#include "Types.h"

#include <algorithm>

TComponent::TComponent(TComponent *AOwner)
{
    if (AOwner)
        AOwner->InsertComponent(this);
}

TComponent::~TComponent()
{
    // Free owned components last-first; each removes itself from our list.
    while (!FComponents.empty()) {
        TComponent *Child = FComponents.back();
        delete Child;
    }
    if (FOwner)
        FOwner->RemoveComponent(this);
}

TComponent *TComponent::FindComponent(const QString &AName) const
{
    for (TComponent *C : FComponents)
        if (C->FName.compare(AName, Qt::CaseInsensitive) == 0)
            return C;
    return nullptr;
}

void TComponent::InsertComponent(TComponent *AComponent)
{
    if (AComponent->FOwner)
        AComponent->FOwner->RemoveComponent(AComponent);
    FComponents.push_back(AComponent);
    AComponent->FOwner = this;
}

void TComponent::RemoveComponent(TComponent *AComponent)
{
    auto It = std::find(FComponents.begin(), FComponents.end(), AComponent);
    if (It != FComponents.end()) {
        FComponents.erase(It);
        AComponent->FOwner = nullptr;
    }
}

Exception::Exception(const QString &Msg)
{
    SetMessage(Msg);
}

void Exception::SetMessage(const QString &Msg)
{
    FMessage = Msg;
    FUtf8 = Msg.toUtf8();
}

void Abort()
{
    throw EAbort(QStringLiteral("Operation aborted"));
}
