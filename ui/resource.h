// Resource and control ids shared by the dialog templates and the code.
#ifndef TIDEWELL_UI_RESOURCE_H
#define TIDEWELL_UI_RESOURCE_H

#define IDD_PROGRESS 109
#define IDD_DATADIR 113
#define IDC_PERCENT 1002
#define IDC_DATADIR 1097
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#endif  // TIDEWELL_UI_RESOURCE_H
