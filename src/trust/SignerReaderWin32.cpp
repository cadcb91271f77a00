// The installer's Authenticode signer on Windows: WinVerifyTrust for the signature's integrity,
// the signer's chain for trust, and the signer's subject from that chain.

#include <memory>
#include <string>

#include "base/Format.h"
#include "base/Utf.h"
#include "trust/CertificateTable.h"
#include "trust/PublisherCheck.h"
#include "trust/WinTrustLibrary.h"

namespace {

using WinTrustLibrary::Functions;

// An attribute of the certificate's subject (organisation, common name); empty when absent.
std::string SubjectAttribute(PCCERT_CONTEXT ACertificate, const char* AOid) {
  wchar_t buffer[512];
  const DWORD n = Functions().GetNameString(ACertificate, CERT_NAME_ATTR_TYPE, 0,
                                            const_cast<char*>(AOid), buffer, 512);
  // The count includes the terminating zero; 1 means none.
  return n > 1 ? FromWide(std::wstring_view(buffer, n - 1)) : std::string();
}

TSigner Unknown(const char* AWhat, unsigned long ACode) {
  return {TSigner::TKind::skUnknown, {}, Format(AWhat, ACode)};
}

class TSignerReaderWin32 final : public TSignerReader {
 public:
  TSigner Signer(TFileStream& AFile) override {
    // Loaded first: a library that cannot be had raises, and says which.
    Functions();
    const std::wstring path = ToWide(AFile.FileName());
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    // The open file is the one checked: nobody can change it while it is held.
    file.hFile = static_cast<HANDLE>(AFile.Handle());
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Nothing is fetched from the network for the check.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status =
        Functions().VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The state is released however the check went.
    struct TClose {
      WINTRUST_DATA& Data;
      GUID& Action;
      ~TClose() {
        Data.dwStateAction = WTD_STATEACTION_CLOSE;
        Functions().VerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &Action, &Data);
      }
    } close{data, action};
    if (status != ERROR_SUCCESS) {
      // Only a file without any signature is unsigned: the system finds none where the file
      // shows no certificate table, or the file has none whatever the system said. A table the
      // system could not read, or any other failure, leaves it open whether the file is signed.
      const std::optional<bool> table = HasCertificateTable(AFile);
      if (table == false || (status == TRUST_E_NOSIGNATURE && !table)) return {};
      return Unknown("0x%08lX", static_cast<unsigned long>(status));
    }

    // WinVerifyTrust has been seen to pass a signer whose chain ends at a root nobody trusts
    // (Wine): the chain's own verdict must be clean too. Revocation is not asked for, so its
    // "unknown" does not count.
    CRYPT_PROVIDER_DATA* provider = Functions().ProvDataFromStateData(data.hWVTStateData);
    CRYPT_PROVIDER_SGNR* signer =
        provider ? Functions().GetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    const CERT_CHAIN_CONTEXT* chain = signer ? signer->pChainContext : nullptr;
    if (!chain || chain->cChain == 0 || chain->rgpChain[0]->cElement == 0)
      return Unknown("no signer chain (0x%08lX)", static_cast<unsigned long>(status));
    const DWORD trust = chain->TrustStatus.dwErrorStatus &
                        ~static_cast<DWORD>(CERT_TRUST_REVOCATION_STATUS_UNKNOWN |
                                            CERT_TRUST_IS_OFFLINE_REVOCATION);
    if (trust != CERT_TRUST_NO_ERROR)
      return Unknown("the signer's chain: trust status 0x%08lX", static_cast<unsigned long>(trust));
    PCCERT_CONTEXT certificate = chain->rgpChain[0]->rgpElement[0]->pCertContext;
    if (!certificate)
      return Unknown("no signer certificate (0x%08lX)", static_cast<unsigned long>(status));
    return {TSigner::TKind::skSigned,
            TPublisher{SubjectAttribute(certificate, szOID_ORGANIZATION_NAME),
                       SubjectAttribute(certificate, szOID_COMMON_NAME)},
            {}};
  }
};

}  // namespace

std::unique_ptr<TSignerReader> CreateSignerReader() {
  return std::make_unique<TSignerReaderWin32>();
}
