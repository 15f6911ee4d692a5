#pragma once

// A dialog of the tests only; its ids stay clear of the module's own resources.
#define IDD_LANG_TEST 9000
#define IDC_LANG_TEST_LABEL 9001
#define IDC_LANG_TEST_BUTTON 9002
#define IDC_LANG_TEST_CHECK 9003
#define IDC_LANG_TEST_ABSENT 9009
