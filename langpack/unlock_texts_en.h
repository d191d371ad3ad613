/* English texts of the unlock prompt: the English module and the program's own fallback
   template both take them from here. */
#ifndef TARN_UNLOCK_TEXTS_EN_H
#define TARN_UNLOCK_TEXTS_EN_H

#define TXT_UNLOCK_CAPTION      "Unlock BitLocker Drive"
#define TXT_UNLOCK_HEADING      "BitLocker keeps this drive locked. Type its 48-digit recovery key to unlock it; the key ID tells which recovery key belongs to this drive."
#define TXT_UNLOCK_DRIVE        "Drive:"
#define TXT_UNLOCK_KEY_ID       "Key ID:"
#define TXT_UNLOCK_PASSWORD     "&Recovery key (with or without the dashes):"
#define TXT_UNLOCK_WHERE        "Find it in the owner's Microsoft account (aka.ms/myrecoverykey), in Active Directory or Intune, or on the printout made when BitLocker was turned on."
#define TXT_UNLOCK_OK           "&Unlock"

#endif
