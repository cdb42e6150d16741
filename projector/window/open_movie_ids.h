// The ids of the "Open" dialog's template and its controls. The resource compiler reads this file
// too, so it holds only #define lines.
#ifndef TARPON_PROJECTOR_OPEN_MOVIE_IDS_H
#define TARPON_PROJECTOR_OPEN_MOVIE_IDS_H

#define TARPON_DIALOG_OPEN_MOVIE 2300
#define TARPON_OPEN_MOVIE_LOCATION 2301
#define TARPON_OPEN_MOVIE_BROWSE 2302
#define TARPON_OPEN_MOVIE_PROMPT 2303

#endif
