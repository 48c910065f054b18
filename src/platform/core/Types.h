#pragma once
// The object model shared by every library: TObject (root of event senders),
// TComponent (named, owned components) and the exception hierarchy.

#include <QString>
#include <QByteArray>
#include <exception>
#include <memory>
#include <vector>

class TObject {
public:
    TObject() = default;
    TObject(const TObject &) = delete;
    TObject &operator=(const TObject &) = delete;
    virtual ~TObject() = default;
};

// A component may own other components; an owner frees what it owns when it is
// destroyed. A component freed before its owner removes itself from the owner.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent *AOwner = nullptr);
    ~TComponent() override;

    QString Name() const { return FName; }
    void SetName(const QString &Value) { FName = Value; }
    TComponent *Owner() const { return FOwner; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent *Components(int Index) const { return FComponents.at(size_t(Index)); }
    TComponent *FindComponent(const QString &AName) const;
    void InsertComponent(TComponent *AComponent);
    void RemoveComponent(TComponent *AComponent);

    int Tag = 0;

    // A token that expires when the component is destroyed; TComponentRef
    // watches it so that a reference to a freed component reads as null.
    std::weak_ptr<const bool> Liveness() const { return FAlive; }

private:
    QString FName;
    TComponent *FOwner = nullptr;
    std::vector<TComponent *> FComponents;
    std::shared_ptr<const bool> FAlive = std::make_shared<const bool>(true);
};

// A reference to a component that is not owned: it reads as null once the
// component has been destroyed, so it is never used dangling.
template <class T>
class TComponentRef {
public:
    TComponentRef() = default;
    TComponentRef(std::nullptr_t) {}
    TComponentRef(T *Value) { *this = Value; }
    TComponentRef &operator=(T *Value)
    {
        FPtr = Value;
        FAlive = Value ? static_cast<const TComponent *>(Value)->Liveness() : std::weak_ptr<const bool>();
        return *this;
    }
    TComponentRef &operator=(std::nullptr_t) { return *this = static_cast<T *>(nullptr); }
    T *get() const { return FAlive.expired() ? nullptr : FPtr; }
    operator T *() const { return get(); }
    T *operator->() const { return get(); }
    explicit operator bool() const { return get() != nullptr; }

private:
    T *FPtr = nullptr;
    std::weak_ptr<const bool> FAlive;
};

// Root of all exceptions raised by our code. Message() is the text the user sees.
class Exception : public std::exception {
public:
    explicit Exception(const QString &Msg);
    const QString &Message() const { return FMessage; }
    void SetMessage(const QString &Msg);
    const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

#define QB_DECLARE_EXCEPTION(Name, Parent)                      \
    class Name : public Parent {                                \
    public:                                                     \
        explicit Name(const QString &Msg) : Parent(Msg) {}      \
    };

QB_DECLARE_EXCEPTION(EAbort, Exception)          // silent: the error handler shows nothing
QB_DECLARE_EXCEPTION(EConvertError, Exception)
QB_DECLARE_EXCEPTION(EListError, Exception)
QB_DECLARE_EXCEPTION(EStreamError, Exception)
QB_DECLARE_EXCEPTION(EFCreateError, EStreamError)
QB_DECLARE_EXCEPTION(EFOpenError, EStreamError)
QB_DECLARE_EXCEPTION(EReadError, EStreamError)
QB_DECLARE_EXCEPTION(EWriteError, EStreamError)
QB_DECLARE_EXCEPTION(EInOutError, Exception)
QB_DECLARE_EXCEPTION(EOutOfMemory, Exception)
// The system could not give a resource (a drawing context, a bitmap, a list entry).
QB_DECLARE_EXCEPTION(EOutOfResources, EOutOfMemory)
QB_DECLARE_EXCEPTION(EInvalidOperation, Exception)
QB_DECLARE_EXCEPTION(EInvalidGraphic, Exception)
QB_DECLARE_EXCEPTION(EInvalidGraphicOperation, Exception)

// Raises EAbort.
[[noreturn]] void Abort();
