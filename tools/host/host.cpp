// velkor-host: loads the library the way the middleware does and calls the
// export a sub-command names, printing the result. With --screenshot it saves
// the first window the call opens; with --dismiss it then closes it, so that
// a run on a display nobody looks at still ends.
#include "UiDriver.h"

#include "base/VelkorExports.h"
#include "carddata/VKDemographicInfoList.h"
#include "carddata/VKPIVCardholderUniqueIdentifier.h"
#include "cardobj/LayerResult.h"
#include "cardobj/VKCardCertificateStore.h"
#include "cardobj/VKCardManagement.h"
#include "cardobj/VKReaderList.h"
#include "popup/HtmlText.h"
#include "popup/PopupAlert.h"
#include "popup/ProgressBar.h"
#include "ToastManager_control.h"
#include "unlock/InitializePinDlg.h"
#include "unlock/ResetCardDialog.h"
#include "validity/VKExpiryNotificationInfo.h"
#include "CConverter.h"
#include "TripleDes.h"
#include "CException.h"
#include "SMMWController.h"
#include "CertificateProperties.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

namespace {

void Print(const std::wstring& text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr, nullptr);
    fwrite(utf8.data(), 1, utf8.size(), stdout);
    fputc('\n', stdout);
    fflush(stdout);
}

int Usage()
{
    Print(L"usage: velkor-host [--screenshot FILE.bmp] [--dismiss] [--world FILE.ini] COMMAND [ARGS]\n"
          L"\n"
          L"commands:\n"
          L"  readers                 the readers of the card world and what is in them\n"
          L"  card-info [--reader R] [--set-notification-date SECONDS]\n"
          L"                          the card's serial, type, PIN bounds and switches, transaction\n"
          L"                          time-out and the date its expiry notice was last shown\n"
          L"  card-data [--reader R]  the data of the card: its certificates (subject, issuer, dates,\n"
          L"                          key usage, default mark), its cardholder unique identifier (raw,\n"
          L"                          and displayed where a code has a name) and its demographic records\n"
          L"  unlock [--reader R]     unlock a blocked card by challenge and response (ShowUnlockDialog)\n"
          L"  unlock-code [--reader R] show the card's backup unlock code (ShowUnlockCode)\n"
          L"  init-pin [--reader R]   choose a card's first PIN (CInitializePinDlg, built here as a\n"
          L"                          host module builds it)\n"
          L"  reset [--reader R] [--static]\n"
          L"                          ask for the PIN or an unlock code (CResetCardDialogMain)\n"
          L"  helpdesk --challenge HEX --key HEX\n"
          L"                          the unlock code that answers a card's challenge (3DES, ECB)\n"
          L"  last-pin-try [READER]   warn that one PIN try is left (DisplayLastPINTry)\n"
          L"  error-string CODE       the text of a card layer result code (GetErrorString)\n"
          L"  pin [--reader R] [--min N] [--max N] [--last-try] [--period MS] [--prompt TEXT]\n"
          L"                          ask for the PIN (GetPINFromUser); prints the result and the\n"
          L"                          PIN's length, never the PIN\n"
          L"  pin-always [--reader R] ask to allow one use of a key (ShowPINAlwaysPrompt)\n"
          L"  select-card             pick a reader among the card world's (ShowQLSelectCard); prints\n"
          L"                          the result and the reader chosen\n"
          L"  cm-locked [--reader R]  the notice that the card manager is blocked (ShowCMLockedDlg)\n"
          L"  about [--text TEXT] [--background]\n"
          L"                          the about box (ShowAbout)\n"
          L"  change-pin [--reader R] [--min N] [--max N] [--numeric] [--weak-allowed]\n"
          L"             [--first-use] [--no-current]\n"
          L"                          change the PIN under the rules (GetChangePINInfoFromUser);\n"
          L"                          prints the result and the PINs' lengths\n"
          L"  validity [--reader R] [--no-card] [--no-certificates]\n"
          L"                          check the card's and its certificates' expiry and tell the holder\n"
          L"                          (ShowValidityCheckDialog); prints the result and the stored date\n"
          L"  expiry [--reader R] [--card-days N] [--cert LABEL=DAYS]... [--delay N] [--ui-mode M]\n"
          L"                          the expiry notice for a card expiring in N days (negative: expired)\n"
          L"                          and certificates expiring in DAYS (DisplayCardExpiryNotificationEx);\n"
          L"                          --delay is the default reminder, --ui-mode 2 or 3 adds the toasts\n"
          L"  controls [--markup TEXT] the popup's HTML text control with a sample of every element\n"
          L"                          (or TEXT) and the progress bar themed and plain\n"
          L"  popup alert|auto-update|otp|window CODE [--wait] [--parent-mode N] [--edge E]\n"
          L"        [--message TEXT] [--code TEXT] [--delay MS] [--reader R] [--toast ANSWER]\n"
          L"        [--shot in|fading|progress|code] [--screen]\n"
          L"                          a popup beside a taskbar on edge E (right, left, top, bottom):\n"
          L"                          ShowAlertPopup, ShowAutoUpdateStartPopup, ShowOTPAlertPopup (its\n"
          L"                          worker hands over --code after --delay ms) or ShowPopupWindow;\n"
          L"                          --toast offers toasts that answer ANSWER; --shot says when the\n"
          L"                          screenshot is taken, --screen takes the whole screen");
    return 2;
}

std::wstring OwnDirectory()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring dir(path);
    return dir.substr(0, dir.find_last_of(L"\\/") + 1);
}

struct Options {
    std::wstring screenshot;
    bool dismiss = false;
    std::vector<std::wstring> command;
};

// Watches for the first window the main thread opens, saves it and, when
// asked, closes it.
std::thread WatchFirstWindow(const Options& options, DWORD mainThread)
{
    return std::thread([options, mainThread] {
        HWND window = uidriver::WaitForTopLevel(L"", mainThread, 30000);
        if (!window) {
            Print(L"velkor-host: no window opened");
            return;
        }
        if (!options.screenshot.empty()) {
            if (uidriver::SaveScreenshot(window, options.screenshot))
                Print(L"velkor-host: screenshot saved to " + options.screenshot);
            else
                Print(L"velkor-host: the screenshot could not be saved");
        }
        if (options.dismiss)
            PostMessageW(window, WM_CLOSE, 0, 0);
    });
}

template <class Function>
Function Export(HMODULE library, const char* name)
{
    auto function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
    if (!function)
        Print(L"velkor-host: the library has no export named " + std::wstring(name, name + strlen(name)));
    return function;
}

// The value of `--name VALUE` among the command's arguments, or `fallback`.
std::wstring Option(const std::vector<std::wstring>& command, const wchar_t* name, const std::wstring& fallback)
{
    for (size_t i = 1; i + 1 < command.size(); ++i)
        if (command[i] == name)
            return command[i + 1];
    return fallback;
}

bool Flag(const std::vector<std::wstring>& command, const wchar_t* name)
{
    for (size_t i = 1; i < command.size(); ++i)
        if (command[i] == name)
            return true;
    return false;
}

std::atomic<unsigned> g_keepAliveCalls{0};

void CALLBACK CountKeepAlive(void*)
{
    ++g_keepAliveCalls;
}

int RunPin(HMODULE library, const std::vector<std::wstring>& command)
{
    using GetPin = int(__cdecl*)(HWND, const wchar_t*, int, int, int, char**, int*, void(CALLBACK*)(void*), void*,
                                 unsigned);
    auto getPin = Export<GetPin>(library, "GetPINFromUser");
    auto freePin = Export<void(__cdecl*)(void*, unsigned)>(library, "FreeGetPinBuffer");
    auto setPrompt = Export<void(__cdecl*)(const wchar_t*)>(library, "SetPinPromptString");
    if (!getPin || !freePin || !setPrompt)
        return 1;
    std::wstring reader = Option(command, L"--reader", L"Demo Reader 0");
    int minLength = _wtoi(Option(command, L"--min", L"4").c_str());
    int maxLength = _wtoi(Option(command, L"--max", L"8").c_str());
    unsigned period = static_cast<unsigned>(_wtoi(Option(command, L"--period", L"0").c_str()));
    std::wstring prompt = Option(command, L"--prompt", L"");
    if (!prompt.empty())
        setPrompt(prompt.c_str());
    char* pin = nullptr;
    int length = 0;
    int result = getPin(nullptr, reader.c_str(), Flag(command, L"--last-try") ? 1 : 0, minLength, maxLength, &pin,
                        &length, period ? CountKeepAlive : nullptr, nullptr, period);
    Print(L"GetPINFromUser returned " + std::to_wstring(result) + L", PIN length " + std::to_wstring(length) +
          L", keep-alive calls " + std::to_wstring(g_keepAliveCalls.load()));
    if (pin)
        freePin(pin, static_cast<unsigned>(length));
    return 0;
}

int RunChangePin(HMODULE library, const std::vector<std::wstring>& command)
{
    using ChangePin = int(__cdecl*)(int, int, int, int, int, int, wchar_t*, int*, wchar_t*, int*, const wchar_t*,
                                    HWND, bool, void(CALLBACK*)(void*), void*, unsigned);
    auto changePin = Export<ChangePin>(library, "GetChangePINInfoFromUser");
    if (!changePin)
        return 1;
    wchar_t newPin[128] = {};
    wchar_t currentPin[128] = {};
    int newLength = 0;
    int currentLength = 0;
    int result = changePin(Flag(command, L"--numeric") ? 1 : 0, Flag(command, L"--weak-allowed") ? 1 : 0,
                           _wtoi(Option(command, L"--min", L"4").c_str()), _wtoi(Option(command, L"--max", L"8").c_str()),
                           Flag(command, L"--first-use") ? 1 : 0, 0, newPin, &newLength, currentPin, &currentLength,
                           Option(command, L"--reader", L"Demo Reader 0").c_str(), nullptr,
                           !Flag(command, L"--no-current"), nullptr, nullptr, 0);
    SecureZeroMemory(newPin, sizeof(newPin));
    SecureZeroMemory(currentPin, sizeof(currentPin));
    Print(L"GetChangePINInfoFromUser returned " + std::to_wstring(result) + L", current PIN length " +
          std::to_wstring(currentLength) + L", new PIN length " + std::to_wstring(newLength));
    return 0;
}

const wchar_t* StateName(int state)
{
    switch (state) {
    case kReaderCardPresent:
        return L"card";
    case kReaderEmpty:
        return L"empty";
    default:
        return L"unavailable";
    }
}

int RunReaders()
{
    VKReaderList list;
    CSecStr defaultReader;
    bool haveDefault = list.GetDefaultReader(defaultReader) == kLayerOk;
    int count = 0;
    VKReaderList::Position position = list.GetFirstReaderPosition();
    while (VKReader* reader = list.GetNextReader(position)) {
        ++count;
        int state = reader->GetReaderState();
        std::wstring line = std::wstring(reader->GetName()) + L": " + StateName(state);
        if (state == kReaderCardPresent) {
            VKReader copy(*reader);
            VKConnection connection;
            if (copy.Connect(connection) == kLayerOk && connection.m_pContext) {
                try {
                    VKData identifier;
                    connection.m_pContext->GetCardObject()->GetProperty(kCardPropertyIdentifier, identifier);
                    line += L", card " + std::wstring(identifier.GetString());
                } catch (CException* e) {
                    line += L", card unreadable (" + std::wstring(e->getMessage()) + L")";
                    delete e;
                }
            }
        }
        if (haveDefault && defaultReader.Compare(reader->GetName()) == 0)
            line += L" (default)";
        Print(line);
    }
    if (count == 0)
        Print(L"no reader (is vk.smmw.mwctl.dll beside the library, and is the card world readable?)");
    return 0;
}

std::wstring KeyUsageText(const VKCertificateBlob& certificate)
{
    unsigned usage = 0;
    if (!certificate.GetKeyUsage(usage))
        return L"(no key usage extension)";
    static const std::pair<unsigned, const wchar_t*> kNames[] = {
        {kKeyUsageDigitalSignature, L"digital signature"}, {kKeyUsageNonRepudiation, L"non-repudiation"},
        {kKeyUsageKeyEncipherment, L"key encipherment"},   {kKeyUsageDataEncipherment, L"data encipherment"},
        {kKeyUsageKeyAgreement, L"key agreement"},         {kKeyUsageKeyCertSign, L"certificate signing"},
        {kKeyUsageCrlSign, L"CRL signing"}};
    std::wstring text;
    for (const auto& [bit, name] : kNames)
        if (usage & bit)
            text += (text.empty() ? L"" : L", ") + std::wstring(name);
    return text.empty() ? L"(none)" : text;
}

// The certificates of the card in `readerName`, one block each.
int PrintCardCertificates(const CSecStr& readerName)
{
    VKCardCertificateStore store{VKReader(readerName)};
    LARGE_INTEGER frequency = {}, start = {}, stop = {};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const int status = store.LoadFromPhysicalStore();
    QueryPerformanceCounter(&stop);
    const long long microseconds = (stop.QuadPart - start.QuadPart) * 1000000 / frequency.QuadPart;
    if (status != kLayerOk && store.GetCount() == 0) {
        Print(L"certificates: none read (" + std::to_wstring(status) + L")");
        return 1;
    }
    Print(L"certificates: " + std::to_wstring(store.GetCount()) + L", read in " +
          std::to_wstring(microseconds / 1000) + L"." + std::to_wstring(microseconds / 100 % 10) + L" ms" +
          (status == kLayerOk ? L"" : L" (some could not be read: " + std::to_wstring(status) + L")"));
    static const wchar_t* const kTypes[] = {L"unknown", L"user", L"root CA", L"intermediate CA"};
    int n = 0;
    for (auto position = store.GetFirstCertificatePosition(); position;) {
        const VKCertificate& c = *store.GetNextCertificate(position);
        const VKCertificateBlob& blob = c.m_certificate;
        const int type = c.eCertificateType >= 1 && c.eCertificateType <= 3 ? c.eCertificateType : 0;
        Print(std::to_wstring(++n) + L". " + (c.GetLabel().IsEmpty() ? L"(no label)" : c.GetLabel().GetString()) +
              L" (" + kTypes[type] + L")" + (c.bDefault ? L" [default]" : L""));
        Print(std::wstring(L"   subject: ") + blob.GetSubjectName().GetString());
        Print(std::wstring(L"   issuer: ") + blob.GetIssuerName().GetString());
        Print(std::wstring(L"   valid: ") + VKCertificateBlob::GetCertDate(blob.GetStartTime(), false).GetString() +
              L" to " + VKCertificateBlob::GetCertDate(blob.GetExpirationTime(), false).GetString());
        Print(L"   key usage: " + KeyUsageText(blob) + L"; " + std::to_wstring(blob.GetPublicKeyBits()) + L"-bit key");
    }
    return 0;
}

int RunCardInfo(const std::vector<std::wstring>& command)
{
    CSecStr readerName(Option(command, L"--reader", L"").c_str());
    if (readerName.IsEmpty()) {
        VKReaderList list;
        if (list.GetDefaultReader(readerName) != kLayerOk) {
            Print(L"no reader");
            return 1;
        }
    }
    VKReader reader(readerName);
    VKCardManagement card(reader);
    std::wstring date = Option(command, L"--set-notification-date", L"");
    if (!date.empty()) {
        if (int stored = card.SetDisplayNotificationDate(_wtoi64(date.c_str())))
            Print(L"the notification date was not stored (" + std::to_wstring(stored) + L")");
    }
    CSecStr serial;
    int status = card.GetSerialNumber(serial);
    if (status != kLayerOk) {
        Print(std::wstring(L"reader ") + readerName.GetString() + L": no card (" + std::to_wstring(status) + L")");
        return 1;
    }
    int minLength = -1;
    int maxLength = -1;
    unsigned timeout = 0;
    card.GetMinPINLen(&minLength);
    card.GetMaxPINLen(&maxLength);
    card.GetTransactionTimeoutValue(&timeout);
    const wchar_t* type = card.IsCACCard() ? L"CAC" : (card.IsPIVCard() ? L"PIV" : L"other");
    auto yesNo = [](bool b) { return std::wstring(b ? L"yes" : L"no"); };
    Print(std::wstring(L"reader: ") + readerName.GetString());
    Print(std::wstring(L"serial: ") + serial.GetString());
    Print(std::wstring(L"type: ") + type);
    Print(L"PIN length: " + std::to_wstring(minLength) + L" to " + std::to_wstring(maxLength));
    Print(L"weak PIN check: " + yesNo(card.IsWeakPINCheckActivated()) + L", digits only: " +
          yesNo(card.IsAlphaPINCheckActivated()) + L", unlock allowed: " + yesNo(card.IsUnlockAllowed()));
    Print(L"transaction time-out: " + std::to_wstring(timeout));
    Print(L"notification date: " + std::to_wstring(card.GetDisplayNotificationDate()));
    return 0;
}

// The reader named by --reader, else the default one; false when there is none.
bool ChosenReader(const std::vector<std::wstring>& command, CSecStr& readerName)
{
    readerName = Option(command, L"--reader", L"").c_str();
    if (readerName.IsEmpty()) {
        VKReaderList list;
        if (list.GetDefaultReader(readerName) != kLayerOk) {
            Print(L"no reader");
            return false;
        }
    }
    return true;
}

void PrintChuid(const VKReader& reader)
{
    using Chuid = VKPIVCardholderUniqueIdentifier;
    static const struct {
        int key;
        const wchar_t* name;
    } kFields[] = {
        {Chuid::kChuidGuid, L"GUID"},
        {Chuid::kChuidExpirationDate, L"expiration date"},
        {Chuid::kChuidAgencyCode, L"agency code"},
        {Chuid::kChuidOrganizationIdentifier, L"organization identifier"},
        {Chuid::kChuidDuns, L"DUNS"},
        {Chuid::kFascnAgencyCode, L"FASC-N agency code"},
        {Chuid::kFascnSystemCode, L"FASC-N system code"},
        {Chuid::kFascnCredentialNumber, L"FASC-N credential number"},
        {Chuid::kFascnCredentialSeries, L"FASC-N credential series"},
        {Chuid::kFascnIndividualCredentialIssue, L"FASC-N individual credential issue"},
        {Chuid::kFascnPersonIdentifier, L"FASC-N person identifier"},
        {Chuid::kFascnOrganizationalCategory, L"FASC-N organizational category"},
        {Chuid::kFascnOrganizationalIdentifier, L"FASC-N organizational identifier"},
        {Chuid::kFascnAssociationCategory, L"FASC-N association category"},
    };
    Chuid chuid(reader);
    bool silent = true;
    const int status = chuid.Load(silent);
    if (status == kLayerNotFound) {
        Print(L"CHUID: none");
        return;
    }
    if (status != kLayerOk) {
        Print(L"CHUID: not read (" + std::to_wstring(status) + L")");
        return;
    }
    Print(L"CHUID:");
    for (const auto& field : kFields) {
        const CSecStr raw = chuid.GetRawValue(field.key);
        const CSecStr display = chuid.GetDisplayValue(field.key);
        std::wstring line = std::wstring(L"  ") + field.name + L": " + raw.GetString();
        if (display.Compare(raw) != 0)
            line += std::wstring(L" (") + display.GetString() + L")";
        Print(line);
    }
    Print(L"  signature status: " + std::to_wstring(chuid.GetSignatureStatus()));
}

// Every labelled demographic credential, each tag that holds a value.
void PrintDemographics(VKReader& reader)
{
    constexpr int kDemographicDataType = 10;
    constexpr int kLabelProperty = 48;
    VKConnection connection;
    if (reader.Connect(connection) != kLayerOk)
        return;
    std::vector<ISMMWCredential*> credentials;
    connection.ListDataCredentials(kDemographicDataType, credentials);
    if (credentials.empty())
        Print(L"demographic records: none");
    for (ISMMWCredential* credential : credentials) {
        std::wstring label = L"(unlabelled)";
        try {
            VKData value;
            credential->GetProperty(kLabelProperty, value);
            label = value.GetString().GetString();
        } catch (CException* e) {
            delete e;
        }
        Print(L"demographic record \"" + label + L"\":");
        // Read in tag order, each kept, so that the rank finds the branch
        // of service read before it.
        VKDemographicInfoList list(reader, credential);
        bool silent = true;
        for (int tag = 49; tag <= 82; ++tag) {
            std::unique_ptr<VKDemographicInfo> info(list.GetDemographicInfo(silent, tag));
            if (!info || info->GetValue().IsEmpty())
                continue;
            list.AddDemographicInfo(*info);
            std::wstring line = std::wstring(L"  ") + info->GetLabel().GetString() + L": " + info->GetValue().GetString();
            if (!info->GetDescription().IsEmpty() && info->GetDescription().Compare(info->GetValue()) != 0)
                line += std::wstring(L" (") + info->GetDescription().GetString() + L")";
            Print(line);
        }
    }
    reader.Disconnect();
}

int RunCardData(const std::vector<std::wstring>& command)
{
    CSecStr readerName;
    if (!ChosenReader(command, readerName))
        return 1;
    VKReader reader(readerName);
    if (reader.GetReaderState() != kReaderCardPresent) {
        Print(std::wstring(L"reader ") + readerName.GetString() + L": no card");
        return 1;
    }
    Print(std::wstring(L"reader: ") + readerName.GetString());
    PrintChuid(reader);
    PrintDemographics(reader);
    return PrintCardCertificates(readerName);
}

int RunValidity(const std::vector<std::wstring>& command)
{
    CSecStr readerName;
    if (!ChosenReader(command, readerName))
        return 1;
    const int result = ShowValidityCheckDialog(nullptr, readerName, nullptr, !Flag(command, L"--no-card"),
                                               !Flag(command, L"--no-certificates"));
    Print(L"ShowValidityCheckDialog returned " + std::to_wstring(result));
    VKCardManagement card{VKReader(readerName)};
    Print(L"notification date: " + std::to_wstring(card.GetDisplayNotificationDate()));
    return 0;
}

int RunExpiry(const std::vector<std::wstring>& command)
{
    const __int64 now = _time64(nullptr);
    const std::wstring reader = Option(command, L"--reader", L"Demo Reader 0");
    VKExpiryNotificationInfo info(CSecStr(reader.c_str()), nullptr);
    info.SetNbDaysForNotificationDelay(_wtoi(Option(command, L"--delay", L"60").c_str()));
    const std::wstring cardDays = Option(command, L"--card-days", L"");
    info.SetMustDisplayCardExpiry(cardDays.empty() ? 0 : 1,
                                  cardDays.empty() ? -1 : now + _wtoi(cardDays.c_str()) * 86400LL);
    for (size_t i = 1; i + 1 < command.size(); ++i) {
        if (command[i] != L"--cert")
            continue;
        const size_t equals = command[i + 1].rfind(L'=');
        if (equals == std::wstring::npos)
            return Usage();
        info.AddCertificateExpiryNotificationInfo(CSecStr(command[i + 1].substr(0, equals).c_str()),
                                                  now + _wtoi(command[i + 1].c_str() + equals + 1) * 86400LL);
    }
    const std::wstring mode = Option(command, L"--ui-mode", L"");
    if (!mode.empty()) {
        qlToastSetAvailable(true);
        qlToastSetUIMode(_wtoi(mode.c_str()));
    }
    int days = 0;
    int dontRemindMe = 0;
    const int result = DisplayCardExpiryNotificationEx(nullptr, info, &days, &dontRemindMe);
    Print(L"DisplayCardExpiryNotificationEx returned " + std::to_wstring(result) + L", days " +
          std::to_wstring(days) + L", do not remind me " + std::to_wstring(dontRemindMe));
    if (!mode.empty())
        Print(L"toasts shown: " + std::to_wstring(qlToastShownCount()));
    return 0;
}

int RunHelpdesk(const std::vector<std::wstring>& command)
{
    CSecStr challengeText(Option(command, L"--challenge", L"").c_str());
    CSecStr keyText(Option(command, L"--key", L"").c_str());
    challengeText.Remove(L' ');
    challengeText.Remove(L'-');
    WipingBytes challenge = CConverter::HexToBin(challengeText);
    WipingBytes key = CConverter::HexToBin(keyText);
    WipingBytes response;
    if (challenge.empty() || key.size() != 24 || !TripleDesEncryptEcb(key, challenge, response)) {
        Print(L"helpdesk: give the challenge (whole 8-byte blocks) and the 24-byte admin key in hexadecimal");
        return 2;
    }
    Print(std::wstring(L"unlock code: ") + CConverter::BinToHex(response).GetString());
    return 0;
}

// The host's side of PIN initialization: here it only reports what it was
// given; a real host writes the PIN to the card.
int HostInitPin(void*, CSecStr newPin, int minLength, int maxLength, int a, int weakAllowed, int b, int c)
{
    Print(L"init-pin: the host was handed a PIN of " + std::to_wstring(newPin.GetLength()) +
          L" characters (bounds " + std::to_wstring(minLength) + L" to " + std::to_wstring(maxLength) + L", " +
          std::to_wstring(a) + L", " + std::to_wstring(weakAllowed) + L", " + std::to_wstring(b) + L", " +
          std::to_wstring(c) + L")");
    newPin.Empty();
    return 0;
}

int RunInitPin(const std::vector<std::wstring>& command)
{
    std::wstring name = Option(command, L"--reader", L"Demo Reader 0");
    VKReader reader(name.c_str());
    VKConnection connection;
    reader.Connect(connection);
    VKCardManagement card(reader);
    CInitializePinDlg dialog(nullptr, nullptr, &card, HostInitPin, RemoveUnlockCodeAdapter,
                             [](void* context, CSecStr& code) { return UnlockCodeAdapter(context, &code); }, name.c_str());
    INT_PTR result = dialog.DoModal();
    reader.Disconnect();
    Print(L"CInitializePinDlg returned " + std::to_wstring(result));
    return 0;
}

// The frame as a host uses it: the challenge is set once the page exists,
// and the typed value is read before the page goes.
class HostResetDialog : public CResetCardDialogMain {
public:
    HostResetDialog(const wchar_t* reader, VKCardManagement& card, bool staticCode)
        : CResetCardDialogMain(0, nullptr, 0, 0, 0, reader, nullptr, nullptr, 0), m_card(card),
          m_bStatic(staticCode)
    {
    }
    int m_nTyped = -1;

protected:
    BOOL OnInitDialog() override
    {
        CResetCardDialogMain::OnInitDialog();
        CSecStr challenge;
        if (!m_bStatic)
            m_card.GetUnlockChallenge(challenge);
        if (Page())
            Page()->SetChallenge(challenge);
        return TRUE;
    }
    void OnOK() override
    {
        CSecStr typed = GetPin();
        m_nTyped = typed.GetLength();
        typed.Empty();
        CResetCardDialogMain::OnOK();
    }

private:
    VKCardManagement& m_card;
    bool m_bStatic;
};

int RunReset(const std::vector<std::wstring>& command)
{
    std::wstring name = Option(command, L"--reader", L"Demo Reader 2");
    VKReader reader(name.c_str());
    VKCardManagement card(reader);
    HostResetDialog dialog(name.c_str(), card, Flag(command, L"--static"));
    INT_PTR result = dialog.DoModal();
    Print(L"CResetCardDialogMain returned " + std::to_wstring(result) + L", " + std::to_wstring(dialog.m_nTyped) +
          L" characters typed");
    return 0;
}

constexpr UINT kSampleLinkMessage = WM_APP + 1;

LRESULT CALLBACK ControlsSampleProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case kSampleLinkMessage:
        Print(L"controls: a link was clicked");
        return 0;
    case WM_CLOSE:
        DestroyWindow(hWnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hWnd, msg, wParam, lParam);
    }
}

// A window of the popup's controls, as a popup would place them: the HTML
// text over a coloured background, and a progress bar of each drawing mode.
int RunControls(const std::vector<std::wstring>& command)
{
    const std::wstring sample =
        L"<b>Bold</b>, <i>italic</i>, <u>underlined</u>, <font face=\"Courier\">Courier</font>, "
        L"<font size=5>large</font>, <font size=1>small</font> and <font color=\"#B00000\">red</font> text, "
        L"wrapped to the control's width.<br>A line break, then a paragraph."
        L"<p>Entities: &lt;tag&gt; &amp; &quot;quoted&quot; &#169; &#x20AC;&nbsp;and <blink>unknown</blink> "
        L"markup dropped.</p>"
        L"<table><tr><th>Reader</th><th>Card</th></tr><tr><td>Demo Reader 0</td><td>PIV, valid</td></tr>"
        L"<tr><td>Demo Reader 2</td><td><font color=\"#B00000\">blocked</font></td></tr></table>"
        L"<p><img src=\"#3300\"></p><a href=\"close\">Close</a> this notice or <a href=\"help\">get help</a>.";
    const std::wstring markup = Option(command, L"--markup", sample);

    WNDCLASSW wc = {};
    wc.lpfnWndProc = ControlsSampleProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(RGB(226, 234, 244));
    wc.lpszClassName = L"VkControlsSample";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"Velkor controls", WS_POPUP | WS_BORDER | WS_VISIBLE, 60, 60,
                                  460, 520, nullptr, nullptr, wc.hInstance, nullptr);
    HWND text = CreateWindowExW(0, kHtmlTextClass, markup.c_str(), WS_CHILD | WS_VISIBLE, 10, 10, 440, 420, window,
                                nullptr, wc.hInstance, nullptr);
    SendMessageW(text, HTM_SETMARGINS, 5, 5);
    SendMessageW(text, HTM_SETCOLORS, RGB(0, 0, 0), RGB(133, 146, 181));
    SendMessageW(text, HTM_SETLINKMESSAGE, kSampleLinkMessage, 0);
    const struct {
        const wchar_t* label;
        DWORD style;
        int y;
    } bars[] = {{L"Themed:", 0, 445}, {L"Plain:", kProgressBarPlainStyle, 475}};
    for (const auto& bar : bars) {
        CreateWindowExW(0, kHtmlTextClass, bar.label, WS_CHILD | WS_VISIBLE, 15, bar.y, 70, 20, window, nullptr,
                        wc.hInstance, nullptr);
        HWND progress = CreateWindowExW(0, kProgressBarClass, L"", WS_CHILD | WS_VISIBLE | bar.style, 90, bar.y, 350,
                                        15, window, nullptr, wc.hInstance, nullptr);
        // Far enough into the run that the whole group shows in the picture.
        for (int tick = 0; tick < 30; ++tick)
            SendMessageW(progress, WM_TIMER, 0, 0);
    }
    if (!window || !text) {
        Print(L"controls: the window could not be created");
        return 1;
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}

// The one-time password worker of `popup otp`: hands the code over after
// the delay, as the middleware's worker does once the card answered.
std::wstring g_otpCode;
DWORD g_otpDelayMs = 1500;

DWORD WINAPI HostOtpWorker(void* popup)
{
    Sleep(g_otpDelayMs);
    if (!CPopupAlert::PostOtpText(static_cast<HWND>(popup), g_otpCode.c_str()))
        Print(L"velkor-host: the popup was gone before the code came");
    return 0;
}

RECT WorkAreaBeside(const std::wstring& edge)
{
    const int taskbar = 40;
    RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (edge == L"right")
        work.right -= taskbar;
    else if (edge == L"left")
        work.left += taskbar;
    else if (edge == L"top")
        work.top += taskbar;
    else
        work.bottom -= taskbar;
    return work;
}

// Waits for the popup the main thread shows, then for the moment asked
// for, saves it and, when asked, closes it with its close link.
std::thread WatchPopup(const Options& options, DWORD mainThread, const std::wstring& moment, bool wholeScreen)
{
    return std::thread([options, mainThread, moment, wholeScreen] {
        HWND popup = uidriver::WaitForTopLevel(L"", mainThread, 30000);
        if (!popup) {
            Print(L"velkor-host: no popup opened");
            return;
        }
        RECT work = {};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        // In place: inside the work area and unmoved for 100 ms.
        RECT last = {};
        ULONGLONG lastMoved = GetTickCount64();
        auto inPlace = [&] {
            RECT r = {};
            GetWindowRect(popup, &r);
            if (!EqualRect(&r, &last)) {
                last = r;
                lastMoved = GetTickCount64();
            }
            return GetTickCount64() - lastMoved >= 100 && r.right > r.left && r.left >= work.left &&
                   r.top >= work.top && r.left < work.right && r.top < work.bottom;
        };
        bool ready = false;
        if (moment == L"fading") {
            ready = uidriver::WaitUntil([&] {
                BYTE alpha = 255;
                return GetLayeredWindowAttributes(popup, nullptr, &alpha, nullptr) && alpha < 150;
            }, 30000);
        } else if (moment == L"code") {
            ready = uidriver::WaitUntil([&] { return uidriver::TextOf(popup).find(g_otpCode) == 0; }, 30000) &&
                    uidriver::WaitUntil(inPlace);
        } else {
            ready = uidriver::WaitUntil(inPlace);
        }
        uidriver::WaitPainted(popup);
        if (!ready)
            Print(L"velkor-host: the popup never reached the moment asked for");
        if (!options.screenshot.empty()) {
            const bool saved = uidriver::SaveScreenshot(wholeScreen ? nullptr : popup, options.screenshot);
            Print(saved ? L"velkor-host: screenshot saved to " + options.screenshot
                        : std::wstring(L"velkor-host: the screenshot could not be saved"));
        }
        // The close link is hidden while a worker runs: it is clicked until
        // it was there to be clicked.
        if (options.dismiss) {
            uidriver::WaitUntil([&] {
                PostMessageW(popup, WM_POPUPALERT_CLICKED, 0, 0);
                return !IsWindow(popup) || !IsWindowVisible(popup);
            }, 60000);
        }
    });
}

int RunPopup(const Options& options)
{
    const std::vector<std::wstring>& command = options.command;
    if (command.size() < 2)
        return Usage();
    const std::wstring& kind = command[1];
    const std::wstring edge = Option(command, L"--edge", L"");
    RECT savedWork = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &savedWork, 0);
    if (!edge.empty()) {
        RECT work = WorkAreaBeside(edge);
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0);
    }
    const std::wstring toast = Option(command, L"--toast", L"");
    if (!toast.empty()) {
        qlToastSetAvailable(true);
        qlToastSetAnswer(_wtoi(toast.c_str()));
    }
    std::thread watcher;
    if (!options.screenshot.empty() || options.dismiss)
        watcher = WatchPopup(options, GetCurrentThreadId(), Option(command, L"--shot", L"in"), Flag(command, L"--screen"));

    // A popup that returns at once tells this thread when it closes.
    auto pumpUntilClosed = [] {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (!msg.hwnd && msg.message == WM_POPUPALERT_CLOSED)
                return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        return 2;
    };
    if (kind == L"alert") {
        ShowAlertPopup(nullptr);
        Print(L"ShowAlertPopup returned; the popup closed with " + std::to_wstring(pumpUntilClosed()));
    } else if (kind == L"auto-update") {
        Print(L"ShowAutoUpdateStartPopup returned " + std::to_wstring(ShowAutoUpdateStartPopup(nullptr)));
    } else if (kind == L"otp") {
        g_otpCode = Option(command, L"--code", L"Your one-time password: <b>482 915</b>");
        g_otpDelayMs = static_cast<DWORD>(_wtoi(Option(command, L"--delay", L"1500").c_str()));
        const std::wstring message = Option(command, L"--message", L"Reading your one-time password...");
        const std::wstring reader = Option(command, L"--reader", L"Demo Reader 0");
        ShowOTPAlertPopup(nullptr, message.c_str(), HostOtpWorker, reader.c_str());
        Print(L"ShowOTPAlertPopup returned");
    } else if (kind == L"window" && command.size() > 2) {
        const int code = _wtoi(command[2].c_str());
        const bool wait = Flag(command, L"--wait");
        int result = ShowPopupWindow(code, nullptr, wait ? TRUE : FALSE,
                                     _wtoi(Option(command, L"--parent-mode", L"0").c_str()));
        if (!wait && code < 1000 && toast.empty())
            result = pumpUntilClosed();
        Print(L"ShowPopupWindow returned " + std::to_wstring(result));
    } else {
        if (watcher.joinable())
            watcher.detach();
        return Usage();
    }
    if (watcher.joinable())
        watcher.join();
    if (!edge.empty())
        SystemParametersInfoW(SPI_SETWORKAREA, 0, &savedWork, 0);
    return 0;
}

int Run(HMODULE library, const std::vector<std::wstring>& command)
{
    const std::wstring& name = command[0];
    if (name == L"card-info")
        return RunCardInfo(command);
    if (name == L"card-data")
        return RunCardData(command);
    if (name == L"init-pin")
        return RunInitPin(command);
    if (name == L"reset")
        return RunReset(command);
    if (name == L"unlock" || name == L"unlock-code") {
        std::wstring reader = Option(command, L"--reader", L"Demo Reader 2");
        int result = name == L"unlock" ? ShowUnlockDialog(nullptr, reader.c_str(), nullptr)
                                       : ShowUnlockCode(nullptr, reader.c_str());
        Print((name == L"unlock" ? std::wstring(L"ShowUnlockDialog") : std::wstring(L"ShowUnlockCode")) +
              L" returned " + std::to_wstring(result));
        return 0;
    }
    if (name == L"helpdesk")
        return RunHelpdesk(command);
    if (name == L"validity")
        return RunValidity(command);
    if (name == L"expiry")
        return RunExpiry(command);
    if (name == L"controls")
        return RunControls(command);
    if (name == L"readers")
        return RunReaders();
    if (name == L"change-pin")
        return RunChangePin(library, command);
    if (name == L"pin")
        return RunPin(library, command);
    if (name == L"pin-always") {
        auto prompt = Export<int(__cdecl*)(HWND, const wchar_t*)>(library, "ShowPINAlwaysPrompt");
        if (!prompt)
            return 1;
        int result = prompt(nullptr, Option(command, L"--reader", L"Demo Reader 0").c_str());
        Print(L"ShowPINAlwaysPrompt returned " + std::to_wstring(result));
        return 0;
    }
    if (name == L"select-card") {
        auto select = Export<int(__cdecl*)(HWND, wchar_t**, int*)>(library, "ShowQLSelectCard");
        if (!select)
            return 1;
        wchar_t* reader = nullptr;
        int length = 0;
        int result = select(nullptr, &reader, &length);
        std::wstring chosen = reader ? std::wstring(reader, static_cast<size_t>(length)) : std::wstring();
        free(reader);
        Print(L"ShowQLSelectCard returned " + std::to_wstring(result) + (reader ? L", reader \"" + chosen + L"\"" : L""));
        return 0;
    }
    if (name == L"cm-locked") {
        auto notice = Export<void(__cdecl*)(HWND, const wchar_t*)>(library, "ShowCMLockedDlg");
        if (!notice)
            return 1;
        notice(nullptr, Option(command, L"--reader", L"Demo Reader 0").c_str());
        Print(L"ShowCMLockedDlg returned");
        return 0;
    }
    if (name == L"about") {
        auto about = Export<int(__cdecl*)(int, int, const wchar_t*)>(library, "ShowAbout");
        if (!about)
            return 1;
        const bool background = std::find(command.begin(), command.end(), L"--background") != command.end();
        int result = about(background ? 1 : 0, 0,
                           Option(command, L"--text", L"Velkor smart card middleware for your organisation's cards.").c_str());
        Print(L"ShowAbout returned " + std::to_wstring(result));
        return 0;
    }
    if (name == L"last-pin-try") {
        auto display = Export<int(__cdecl*)(const wchar_t*)>(library, "DisplayLastPINTry");
        if (!display)
            return 1;
        int result = display(command.size() > 1 ? command[1].c_str() : nullptr);
        Print(L"DisplayLastPINTry returned " + std::to_wstring(result));
        return 0;
    }
    if (name == L"error-string") {
        if (command.size() < 2)
            return Usage();
        auto errorString = Export<const wchar_t*(__cdecl*)(int)>(library, "GetErrorString");
        if (!errorString)
            return 1;
        int code = static_cast<int>(wcstol(command[1].c_str(), nullptr, 0));
        Print(L"GetErrorString(" + std::to_wstring(code) + L"): " + errorString(code));
        return 0;
    }
    Print(L"velkor-host: unknown command " + name);
    return Usage();
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        if (arg == L"--screenshot" && i + 1 < argc)
            options.screenshot = argv[++i];
        else if (arg == L"--dismiss")
            options.dismiss = true;
        else if (arg == L"--world" && i + 1 < argc)
            SetEnvironmentVariableW(L"VELKOR_CARD_WORLD", argv[++i]);
        else
            options.command.push_back(arg);
    }
    if (options.command.empty())
        return Usage();

    std::wstring libraryPath = OwnDirectory() + L"vk.velkor.gui.dll";
    HMODULE library = LoadLibraryW(libraryPath.c_str());
    if (!library) {
        Print(L"velkor-host: cannot load " + libraryPath + L" (error " + std::to_wstring(GetLastError()) + L")");
        return 1;
    }
    if (options.command[0] == L"popup") {
        const int status = RunPopup(options);
        FreeLibrary(library);
        return status;
    }
    std::thread watcher;
    if (!options.screenshot.empty() || options.dismiss)
        watcher = WatchFirstWindow(options, GetCurrentThreadId());
    int status = Run(library, options.command);
    if (watcher.joinable())
        watcher.join();
    FreeLibrary(library);
    return status;
}
