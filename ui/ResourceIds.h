// Identifiers shared by the resource script and the code: pictures, menu commands, controls.
#pragma once

// Pictures (generated at build time by tools/make-icons).
#define kAppIconId 1
#define kToolScanIcon 101
#define kToolSelectAllIcon 102
#define kToolDeselectAllIcon 103
#define kToolSaveIcon 104
#define kListDriveIcon 110
#define kListEnvelopeTickIcon 111
#define kListPageIcon 112
#define kListClosedEnvelopeIcon 113
#define kListOpenFolderIcon 114

// Menu commands. Scan, Quick Select All, Quick Deselect All and Export Selected share their tool buttons' ids.
#define kMenuOpenImage 200
#define kMenuExit 201
#define kMenuHelp 202
#define kMenuDeepScan 203
#define kMenuCancel 204
#define kMenuAbout 205

// Controls of the main window.
#define kIdScan 300
#define kIdSelectAll 301
#define kIdDeselectAll 302
#define kIdSaveEmail 303
#define kIdDrives 310
#define kIdFilterText 311
#define kIdApplyFilter 312
#define kIdClearFilter 313
#define kIdFoundEmails 314
#define kIdMessageBody 315
#define kIdDriveGroup 316
#define kIdFilterGroup 317
#define kIdKeywordLabel 318
#define kIdStatus 319

// Controls of the progress window.
#define kIdWaitLabel 400
#define kIdWaitBar 401
#define kIdWaitAmount 402
#define kIdWaitTime 403
// The progress window's Cancel button is IDCANCEL (2), so that Esc presses it.
