// Symbol visibility of the module's library.
#pragma once

#include <gnuradio/attributes.h>

#ifdef gnuradio_quenvarith_EXPORTS
#define QUENVARITH_API __GR_ATTR_EXPORT
#else
#define QUENVARITH_API __GR_ATTR_IMPORT
#endif
