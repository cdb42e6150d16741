// The ids of the About box's template and controls. The resource compiler reads this file too, so
// it holds only #define lines.
#ifndef TARPON_PROJECTOR_ABOUT_BOX_IDS_H
#define TARPON_PROJECTOR_ABOUT_BOX_IDS_H

#define TARPON_DIALOG_ABOUT 140

#define TARPON_ABOUT_PICTURE 1101
#define TARPON_ABOUT_TITLE 1102
#define TARPON_ABOUT_VERSION 1103
#define TARPON_ABOUT_DESCRIPTION 1104
#define TARPON_ABOUT_COMPANY 1105
#define TARPON_ABOUT_LEGAL_NOTICE 1106
#define TARPON_ABOUT_CONTACT 1107
#define TARPON_ABOUT_COMPANY_LINK 1108
#define TARPON_ABOUT_HOME_PAGE_LINK 1109
#define TARPON_ABOUT_MAIL_LINK 1110
// The About box's own player control (the main window's is 1001).
#define TARPON_ABOUT_MOVIE 1111

#endif
