#pragma once
// QLSelectCard: lets the holder pick the reader whose card the caller should
// use. It lists every reader, preselects one that holds a card, says what to
// do next, and follows cards and readers as they come and go through four
// reader-event subscribers, which it owns. The caller's string always holds
// the name the list shows as selected.
#include "SecureDialog.h"
#include "base/VelkorExports.h"
#include "events/VKReaderEventSubscriber.h"

#include <memory>
#include <vector>

class VKGUI_CLASS QLSelectCard : public CSecureDialog {
public:
    QLSelectCard(CWnd* pParent, CSecStr* pReaderName);
    ~QLSelectCard() override;

    INT_PTR DoModal() override;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind) override;
    void OnDestroy() override;

    void OnCbnSelchangeComboListCard();
    LRESULT OnCardInsertedEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnCardRemovedEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnReaderInsertedEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnReaderRemovedEvent(WPARAM wParam, LPARAM lParam);

private:
    // What a rebuild of the list found.
    struct Census {
        int nTotal = 0;
        int nCards = 0;
        int nLastCard = -1;
        // The index of the event's reader, 0 when it is not listed.
        int nEventReader = 0;
    };
    // Refills the list from a fresh reader list, in enumeration order,
    // looking for `eventReader` (may be null) on the way.
    Census RebuildList(const CSecStr* eventReader, bool logReaders);
    // Sets the prompt, the selection, OK and the list's visibility, empties
    // the status line and stores the selected name in the caller's string.
    void Present(UINT promptId, int selection, bool okEnabled, bool listShown = true);
    void PresentRebuiltList(const Census& census);
    void StopSubscribers();
    // Whether another card or reader event waits in this window's queue.
    bool IsLaterEventQueued() const;

    CSecStr* m_pReaderName;
    CSecStr m_sStatus;
    CSecStr m_sPrompts[4];
    // Whether the reader at each list index held a card at the last rebuild.
    std::vector<bool> m_vbHoldsCard;
    std::unique_ptr<VKReaderEventSubscriber> m_pSubscribers[4];
};
