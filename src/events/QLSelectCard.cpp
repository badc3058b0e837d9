#include "events/QLSelectCard.h"

#include "base/Dpi.h"
#include "base/ExceptionBarrier.h"
#include "base/LibraryState.h"
#include "base/Log.h"
#include "cardobj/VKReaderList.h"
#include "events/EventMessages.h"

#include "pinrc_ids.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct PromptText {
    UINT id;
    const wchar_t* fallback;
};

// Indexed as QLSelectCard::m_sPrompts.
constexpr PromptText kPrompts[4] = {
    {IDS_SELECT_CARD_ONE, L"A smart card has been selected. Press OK to continue."},
    {IDS_SELECT_CARD_SEVERAL, L"Please select your smart card reader."},
    {IDS_SELECT_CARD_INSERT, L"Please insert your smart card."},
    {IDS_SELECT_CARD_CONNECT, L"Please connect your smart card reader."},
};

constexpr int kReaderHoldsCard = 0;

// The subscribers, in the order they are created: the event kind and the
// message each posts.
struct Subscription {
    int kind;
    const UINT* message;
};
constexpr Subscription kSubscriptions[4] = {
    {VK_EVENT_CARD_INSERTED, &g_uCardInsertedEvent},
    {VK_EVENT_CARD_REMOVED, &g_uCardRemovedEvent},
    {VK_EVENT_READER_INSERTED, &g_uReaderInsEvent},
    {VK_EVENT_READER_REMOVED, &g_uReaderRemEvent},
};

// Releases an event's reader name when the handler that received it ends.
class PostedReaderName {
public:
    explicit PostedReaderName(LPARAM lParam)
        : m_lParam(lParam), m_pName(VKReaderEventSubscriber::PeekReaderName(lParam))
    {
    }
    ~PostedReaderName() { VKReaderEventSubscriber::FreeReaderName(m_lParam); }
    PostedReaderName(const PostedReaderName&) = delete;
    PostedReaderName& operator=(const PostedReaderName&) = delete;
    // Null for a value no subscriber posted.
    const CSecStr* Name() const { return m_pName; }

private:
    LPARAM m_lParam;
    const CSecStr* m_pName;
};

} // namespace

QLSelectCard::QLSelectCard(CWnd* pParent, CSecStr* pReaderName)
    : CSecureDialog(IDD_SELECT_CARD, pParent), m_pReaderName(pReaderName)
{
    for (int i = 0; i < 4; ++i) {
        m_sPrompts[i] = LoadResourceString(kPrompts[i].id);
        if (m_sPrompts[i].IsEmpty())
            m_sPrompts[i] = kPrompts[i].fallback;
    }
}

QLSelectCard::~QLSelectCard()
{
    StopSubscribers();
}

INT_PTR QLSelectCard::DoModal()
{
    // Created per-monitor aware where the host lets the thread choose.
    ScopedPerMonitorDpiAwareness dpiAwareness;
    return DoModalFrom(g_hResourceModule);
}

BOOL QLSelectCard::OnInitDialog()
{
    ScopedFunctionLog log(L"QlSelectCard::OnInitDialog");
    OnInitDialogSecure();
    for (int i = 0; i < 4; ++i)
        m_pSubscribers[i].reset(new (std::nothrow)
                                    VKReaderEventSubscriber(this, *kSubscriptions[i].message, kSubscriptions[i].kind));

    PresentRebuiltList(RebuildList(nullptr, true));
    return TRUE;
}

void QLSelectCard::OnDestroy()
{
    StopSubscribers();
    // The names still queued for this window would be lost with it.
    for (const Subscription& subscription : kSubscriptions)
        VKReaderEventSubscriber::FreeQueuedReaderNames(m_hWnd, *subscription.message);
    CSecureDialog::OnDestroy();
}

void QLSelectCard::StopSubscribers()
{
    for (auto& subscriber : m_pSubscribers)
        subscriber.reset();
}

BOOL QLSelectCard::OnCommand(WPARAM wParam, LPARAM lParam)
{
    if (LOWORD(wParam) == IDC_SELECT_CARD_LIST && HIWORD(wParam) == CBN_SELCHANGE) {
        OnCbnSelchangeComboListCard();
        return TRUE;
    }
    return CSecureDialog::OnCommand(wParam, lParam);
}

bool QLSelectCard::IsLaterEventQueued() const
{
    MSG queued;
    for (const Subscription& subscription : kSubscriptions)
        if (*subscription.message &&
            ::PeekMessageW(&queued, m_hWnd, *subscription.message, *subscription.message, PM_NOREMOVE | PM_NOYIELD))
            return true;
    return false;
}

bool QLSelectCard::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const bool isEvent = IsRegisteredMessage(msg, g_uCardInsertedEvent) || IsRegisteredMessage(msg, g_uCardRemovedEvent) ||
                         IsRegisteredMessage(msg, g_uReaderInsEvent) || IsRegisteredMessage(msg, g_uReaderRemEvent);
    // What an event leaves on screen depends only on the readers as they are
    // and on that event's reader, never on what came before: when a later
    // event waits in the queue, this one's rebuild would be redone at once.
    // Skipping it keeps a burst of events from costing a rebuild each.
    if (isEvent && IsLaterEventQueued()) {
        VKReaderEventSubscriber::FreeReaderName(lParam);
        result = 0;
        return true;
    }
    if (IsRegisteredMessage(msg, g_uCardInsertedEvent))
        result = OnCardInsertedEvent(wParam, lParam);
    else if (IsRegisteredMessage(msg, g_uCardRemovedEvent))
        result = OnCardRemovedEvent(wParam, lParam);
    else if (IsRegisteredMessage(msg, g_uReaderInsEvent))
        result = OnReaderInsertedEvent(wParam, lParam);
    else if (IsRegisteredMessage(msg, g_uReaderRemEvent))
        result = OnReaderRemovedEvent(wParam, lParam);
    else
        return CSecureDialog::OnMessage(msg, wParam, lParam, result);
    return true;
}

HBRUSH QLSelectCard::OnCtlColor(CDC* dc, CWnd*, UINT)
{
    HDC hdc = dc ? dc->m_hDC : nullptr;
    if (hdc) {
        ::SetBkMode(hdc, TRANSPARENT);
        ::SetBkColor(hdc, ::GetSysColor(COLOR_WINDOW));
        ::SetTextColor(hdc, ::GetSysColor(COLOR_WINDOWTEXT));
    }
    return ::GetSysColorBrush(COLOR_WINDOW);
}

QLSelectCard::Census QLSelectCard::RebuildList(const CSecStr* eventReader, bool logReaders)
{
    Census census;
    HWND list = GetDlgItemHwnd(IDC_SELECT_CARD_LIST);
    VKReaderList readers;
    // One repaint for the whole refill, however many readers there are.
    ::SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list, CB_RESETCONTENT, 0, 0);
    m_vbHoldsCard.clear();
    VKReaderList::Position position = readers.GetFirstReaderPosition();
    while (VKReader* reader = readers.GetNextReader(position)) {
        const CSecStr& name = reader->GetName();
        const LRESULT index = ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.GetString()));
        if (index < 0) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"QlSelectCard: the list refused reader %s", name.GetString());
            continue;
        }
        ++census.nTotal;
        if (logReaders)
            vklogLog(kGuiTag, VKLOG_INFO, L"QlSelectCard::OnInitDialog: Adding reader %s (total=%d)",
                     name.GetString(), census.nTotal);
        const bool holdsCard = reader->GetReaderState() == kReaderHoldsCard;
        m_vbHoldsCard.push_back(holdsCard);
        if (holdsCard) {
            ++census.nCards;
            census.nLastCard = static_cast<int>(index);
            if (logReaders)
                vklogLog(kGuiTag, VKLOG_INFO,
                         L"QlSelectCard::OnInitDialog: A card is present in reader %s (total of cards=%d)",
                         name.GetString(), census.nCards);
        }
        if (eventReader && name.CompareNoCase(*eventReader) == 0)
            census.nEventReader = static_cast<int>(index);
    }
    ::SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list, nullptr, TRUE);
    return census;
}

void QLSelectCard::Present(UINT promptId, int selection, bool okEnabled, bool listShown)
{
    const CSecStr& prompt = m_sPrompts[promptId - IDS_SELECT_CARD_ONE];
    ::SetDlgItemTextW(m_hWnd, IDC_SELECT_CARD_PROMPT, prompt);
    ::SendDlgItemMessageW(m_hWnd, IDC_SELECT_CARD_LIST, CB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    m_sStatus.Empty();
    ::SetDlgItemTextW(m_hWnd, IDC_SELECT_CARD_STATUS, m_sStatus);
    const int show = listShown ? SW_SHOW : SW_HIDE;
    ::ShowWindow(GetDlgItemHwnd(IDC_SELECT_CARD_LIST), show);
    ::ShowWindow(GetDlgItemHwnd(IDC_SELECT_CARD_LABEL), show);
    ::EnableWindow(GetDlgItemHwnd(IDOK), okEnabled);
    if (m_pReaderName)
        *m_pReaderName = ReadEdit(IDC_SELECT_CARD_LIST);
}

void QLSelectCard::OnCbnSelchangeComboListCard()
{
    ScopedFunctionLog log(L"QlSelectCard::OnCbnSelchangeComboListCard");
    const int selected = static_cast<int>(::SendDlgItemMessageW(m_hWnd, IDC_SELECT_CARD_LIST, CB_GETCURSEL, 0, 0));
    const Census census = RebuildList(nullptr, false);
    const bool holdsCard = selected >= 0 && static_cast<size_t>(selected) < m_vbHoldsCard.size() &&
                           m_vbHoldsCard[static_cast<size_t>(selected)];
    UINT prompt = holdsCard ? IDS_SELECT_CARD_ONE : IDS_SELECT_CARD_SEVERAL;
    if (census.nCards == 0)
        prompt = IDS_SELECT_CARD_INSERT;
    Present(prompt, selected, holdsCard, census.nTotal > 0);
}

LRESULT QLSelectCard::OnCardInsertedEvent(WPARAM, LPARAM lParam)
{
    ScopedFunctionLog log(L"QlSelectCard::OnCardInsertedEvent");
    PostedReaderName reader(lParam);
    const Census census = RebuildList(reader.Name(), false);
    if (census.nTotal == 0)
        Present(IDS_SELECT_CARD_CONNECT, 0, false, false);
    else if (census.nCards == 0)
        Present(IDS_SELECT_CARD_INSERT, census.nEventReader, false);
    else if (census.nCards == 1)
        Present(IDS_SELECT_CARD_ONE, census.nLastCard, true);
    else
        Present(IDS_SELECT_CARD_SEVERAL, census.nEventReader, true);
    return 0;
}

// When the dialog opens, a card left or a reader came or went: the choice
// falls back to the last reader with a card, or, when none has one, to the
// event's reader (the first reader when the event named none).
void QLSelectCard::PresentRebuiltList(const Census& census)
{
    if (census.nTotal == 0)
        Present(IDS_SELECT_CARD_CONNECT, 0, false, false);
    else if (census.nCards == 0)
        Present(IDS_SELECT_CARD_INSERT, census.nEventReader, false);
    else
        Present(census.nCards == 1 ? IDS_SELECT_CARD_ONE : IDS_SELECT_CARD_SEVERAL, census.nLastCard, true);
}

LRESULT QLSelectCard::OnCardRemovedEvent(WPARAM, LPARAM lParam)
{
    ScopedFunctionLog log(L"QlSelectCard::OnCardRemovedEvent");
    PostedReaderName reader(lParam);
    PresentRebuiltList(RebuildList(reader.Name(), false));
    return 0;
}

LRESULT QLSelectCard::OnReaderInsertedEvent(WPARAM, LPARAM lParam)
{
    ScopedFunctionLog log(L"QlSelectCard::OnReaderInsertedEvent");
    // A new reader is handled as a card leaving: the choice falls back to
    // the last reader with a card, or to the new reader when none has one.
    PostedReaderName reader(lParam);
    PresentRebuiltList(RebuildList(reader.Name(), false));
    return 0;
}

LRESULT QLSelectCard::OnReaderRemovedEvent(WPARAM, LPARAM lParam)
{
    ScopedFunctionLog log(L"QlSelectCard::OnReaderRemovedEvent");
    PostedReaderName reader(lParam);
    PresentRebuiltList(RebuildList(nullptr, false));
    return 0;
}

extern "C" int ShowQLSelectCard(HWND hParent, wchar_t** ppReaderName, int* pnReaderNameLength)
try {
    ScopedFunctionLog log(L"ShowQLSelectCard");
    if (!ppReaderName || !pnReaderNameLength) {
        vklogLog(kGuiTag, VKLOG_ERROR, L"ShowQLSelectCard: returns: %d (no place for the reader name)", -1);
        return -1;
    }
    *ppReaderName = nullptr;
    *pnReaderNameLength = 0;
    CWnd owner(hParent);
    CSecStr name;
    QLSelectCard dialog(hParent ? &owner : nullptr, &name);
    const int result = static_cast<int>(dialog.DoModal());
    if (result == IDOK) {
        const size_t length = static_cast<size_t>(name.GetLength());
        // The caller frees the buffer from the run-time heap; an empty name
        // still gets a buffer of its own, so that null always means failure.
        auto* buffer = static_cast<wchar_t*>(std::malloc(length ? length * sizeof(wchar_t) : sizeof(wchar_t)));
        if (!buffer) {
            vklogLog(kGuiTag, VKLOG_ERROR, L"ShowQLSelectCard: Reader Name buffer allocation failed");
            return -1;
        }
        if (length)
            std::memcpy(buffer, name.GetString(), length * sizeof(wchar_t));
        *ppReaderName = buffer;
        *pnReaderNameLength = static_cast<int>(length);
    }
    vklogLog(kGuiTag, result == IDOK ? VKLOG_INFO : VKLOG_ERROR, L"ShowQLSelectCard: returns: %d", result);
    return result;
} catch (...) {
    return ExceptionFailure(kGuiTag, L"ShowQLSelectCard", -1);
}
