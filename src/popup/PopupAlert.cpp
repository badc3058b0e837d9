#include "popup/PopupAlert.h"

CPopupAlert::CPopupAlert() = default;

CPopupAlert::~CPopupAlert() = default;
