// Resource identifiers of dmslink.
#pragma once
