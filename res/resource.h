/* Resource identifiers shared by zarvo.rc and the C++ sources. */
#ifndef ZARVO_RESOURCE_H
#define ZARVO_RESOURCE_H

/* Application icon: lowest icon id, so it is the first icon group in the
   executable (the one Explorer and the screen saver dialog show). */
#define IDI_APP 1

/* String id 1 is the screen saver's display name in the Windows
   Screen Saver settings list. */
#define IDS_APPNAME 1

#endif /* ZARVO_RESOURCE_H */
