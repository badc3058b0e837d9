#pragma once
#define IDD_EVENT_TEST  400
#define IDC_EVENT_PIN   4001
