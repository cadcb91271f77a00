#pragma once

#include <exception>
#include <memory>
#include <string>

// Root of every failure the program raises. The message is UTF-8 text.
class Exception : public std::exception {
 public:
  explicit Exception(std::string AMessage) : FMessage(std::move(AMessage)) {}

  const std::string& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FMessage.c_str(); }

  // An exception raised while handling another may carry that one as its inner exception.
  const std::shared_ptr<const Exception>& InnerException() const noexcept { return FInner; }
  void SetInnerException(std::shared_ptr<const Exception> AInner) { FInner = std::move(AInner); }
  // The innermost exception of the chain (this one when there is no inner exception).
  const Exception& GetBaseException() const noexcept;

 private:
  std::string FMessage;
  std::shared_ptr<const Exception> FInner;
};

// Declares an exception class that only adds its name to the tree.
#define PLENWICK_DECLARE_EXCEPTION(Name, Base) \
  class Name : public Base {                   \
   public:                                     \
    using Base::Base;                          \
  };

// A silent exception: the default exception display shows nothing for it.
PLENWICK_DECLARE_EXCEPTION(EAbort, Exception)
PLENWICK_DECLARE_EXCEPTION(EInvalidOperation, Exception)
PLENWICK_DECLARE_EXCEPTION(EListError, Exception)
PLENWICK_DECLARE_EXCEPTION(EConvertError, Exception)
PLENWICK_DECLARE_EXCEPTION(EOutOfResources, Exception)
PLENWICK_DECLARE_EXCEPTION(EOSError, Exception)
PLENWICK_DECLARE_EXCEPTION(EStreamError, Exception)
PLENWICK_DECLARE_EXCEPTION(EReadError, EStreamError)
PLENWICK_DECLARE_EXCEPTION(EWriteError, EStreamError)
PLENWICK_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
PLENWICK_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
PLENWICK_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
PLENWICK_DECLARE_EXCEPTION(EArgumentException, Exception)
PLENWICK_DECLARE_EXCEPTION(ENotSupportedException, Exception)
PLENWICK_DECLARE_EXCEPTION(EPathTooLongException, Exception)
PLENWICK_DECLARE_EXCEPTION(EDirectoryNotFoundException, Exception)
