#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Component.h"
#include "http/IdAuthentication.h"
#include "http/IdURI.h"

// Keeps the scheme objects of completed authentications, with the URI each one served.
class TIdAuthenticationManager : public TComponent {
 public:
  virtual void AddAuthentication(std::unique_ptr<TIdAuthentication> AAuthentication,
                                 const TIdURI& AURL) {
    FAuthentications.emplace_back(AURL.GetFullURI({}), std::move(AAuthentication));
  }
  const std::vector<std::pair<std::string, std::unique_ptr<TIdAuthentication>>>& Authentications()
      const {
    return FAuthentications;
  }

 private:
  std::vector<std::pair<std::string, std::unique_ptr<TIdAuthentication>>> FAuthentications;
};
