// How the module's other parts reach a server's connection. Inside the module only.
#pragma once

#include "ZORADORXServer.h"
#include "platform/ado/AdoInterfaces.h"

// The _Connection interface of what the server's GetConnectionPtr hands out (its reference is
// released here). Null when the server has no connection or the object is not a connection;
// any other failure of the interface request raises _com_error.
_ConnectionPtr ZorQueryConnection(CZORADORXServer& server);
